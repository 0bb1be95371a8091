// The engine module: the part of the engine layer that runs on Qt WebEngine
// (profile, browsers, pages, views, popup windows and the sub-process entry),
// built as a library of its own. The program links only the runtime, so that
// Qt WebEngine, and the OpenGL stack it brings along, stay out of the process
// until a browser is wanted; the runtime reaches the module through Backend.
#ifndef CEF_LIBCEF_RUNTIME_BACKEND_H_
#define CEF_LIBCEF_RUNTIME_BACKEND_H_
#pragma once

#include <QString>

#include "include/cef_client.h"
#include "include/internal/cef_types_wrappers.h"

namespace cef {

class Backend {
 public:
  virtual ~Backend() = default;

  ///
  /// Main thread of an engine sub-process, once a QCoreApplication exists:
  /// runs the sub-process to its end and returns its exit code.
  ///
  virtual int ProcessMain(int argc, const char** argv) = 0;

  ///
  /// GUI thread: creates browser |id| as CefBrowserHost::CreateBrowser asked
  /// for it and starts loading |url|.
  ///
  virtual void CreateBrowser(const CefWindowInfo& info,
                             CefRefPtr<CefClient> client,
                             const QString& url,
                             const CefBrowserSettings& settings,
                             int id) = 0;

  ///
  /// GUI thread, before the first browser is created: the views are drawn
  /// with Qt Quick's software scene graph, and the engine composites on the
  /// CPU.
  ///
  virtual void UseSoftwareSceneGraph() = 0;

  /// GUI thread, in CefShutdown: closes every browser still open now.
  virtual void CloseAllBrowsers() = 0;

  /// GUI thread, in CefShutdown once the UI thread has stopped: the profile
  /// goes, after every page.
  virtual void ReleaseProfile() = 0;
};

///
/// The engine module's backend, loaded on the first call: from this process
/// when the executable links the module, otherwise from the file beside the
/// executable. Returns null, with a message on stderr, when it cannot be
/// loaded or comes from another build; in the browser process a message box
/// also says so, and the application exits with 1 once it is closed. In the browser process it is called on the GUI thread, in a
/// sub-process on the main thread before the QCoreApplication exists.
///
Backend* GetBackend();

/// Same threads: the backend if it has been loaded, otherwise null.
Backend* LoadedBackend();

}  // namespace cef

/// The module's entry point, which GetBackend looks up by this name.
extern "C" cef::Backend* cef_engine_backend();

/// The build the module comes from; GetBackend refuses a module of another.
extern "C" const char* cef_engine_build_id();

#endif  // CEF_LIBCEF_RUNTIME_BACKEND_H_
