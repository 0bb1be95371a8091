// The engine's runtime in the browser process, from CefInitialize to
// CefShutdown: the settings, the profile, the browser UI thread and the
// registry of live browsers. The runtime itself is linked into the program;
// the profile and the registry belong to the engine module (see backend.h)
// and are defined there.
#ifndef CEF_LIBCEF_CONTEXT_H_
#define CEF_LIBCEF_CONTEXT_H_
#pragma once

#include <cassert>
#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>

#include "include/cef_app.h"
#include "include/cef_browser_process_handler.h"

class QObject;
class QUrl;
class QWebEnginePage;
class QWebEngineProfile;
class CefBrowserHostImpl;

namespace cef {

class Context {
 public:
  /// Any thread: true between CefInitialize and CefShutdown.
  static bool Initialized();

  /// Any thread: hands |task| to the Qt GUI thread. False when not running.
  static bool PostGuiTask(std::function<void()> task);
  /// Any thread: queues |task| on the browser UI thread. False when stopped.
  static bool PostUiTask(std::function<void()> task, int64_t delay_ms = 0);
  static bool CurrentlyOnUi();
  static bool CurrentlyOnGui();
  /// Any thread: tasks queued for the browser UI thread and not run yet.
  static size_t PendingUiTasks();

  // --- GUI thread only from here on.

  /// The runtime, or null outside CefInitialize..CefShutdown.
  static Context* Get();

  // Defined in the engine module, as only its code uses them.
  /// The profile every browser uses; created on first use, so that the heavy
  /// start of the engine waits until a browser is really wanted.
  QWebEngineProfile* Profile();

  void RegisterBrowser(CefRefPtr<CefBrowserHostImpl> browser);
  /// Forgets the browser; returns the registry's reference, or null.
  CefRefPtr<CefBrowserHostImpl> UnregisterBrowser(int id);
  CefRefPtr<CefBrowserHostImpl> GetBrowser(int id) const;
  /// The open browser that shows |page|, or null.
  CefRefPtr<CefBrowserHostImpl> GetBrowserForPage(const QWebEnginePage* page) const;
  ///
  /// The open browser to tell of something of |origin| that names no page:
  /// one that shows a page of that origin, the first non-popup one first;
  /// otherwise the first non-popup browser. Null when none is open.
  ///
  CefRefPtr<CefBrowserHostImpl> GetBrowserForOrigin(const QUrl& origin) const;

  bool Start(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> app);
  void Shutdown();

  Context();
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

 private:
  QString cache_path_;
  QString user_agent_;
  QString accept_language_;
  bool persist_session_cookies_ = false;
  CefRefPtr<CefApp> app_;
};

/// Any thread: the next browser identifier, unique and positive.
int NextBrowserId();

/// GUI thread: runs |task| once the windows just shown have painted their
/// first frame, so that the engine's heavy start never holds them back.
void RunAfterFirstFrames(std::function<void()> task);

}  // namespace cef

/// Asserts, in debug builds, that the caller runs on the Qt GUI thread.
#ifdef NDEBUG
#define CEF_REQUIRE_GUI_THREAD() ((void)0)
#else
#define CEF_REQUIRE_GUI_THREAD() assert(cef::Context::CurrentlyOnGui())
#endif

#endif  // CEF_LIBCEF_CONTEXT_H_
