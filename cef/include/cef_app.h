// Process entry points and the application handler.
#ifndef CEF_INCLUDE_CEF_APP_H_
#define CEF_INCLUDE_CEF_APP_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_command_line.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_resource_bundle_handler.h"
#include "include/cef_scheme.h"

class CefApp;

///
/// Runs the engine's sub-process when the process command line names a process
/// type ("--type=renderer", "--type=zygote", ...). Returns -1 at once when it
/// names none (this is the browser process); otherwise runs the sub-process to
/// its end and returns its exit code. Called on the process's first thread
/// before any Qt application object of the caller exists.
///
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info);

///
/// Starts the engine in the browser process. Call once, on the Qt GUI thread,
/// after the QApplication exists. Returns false when the engine cannot start
/// (called twice, a sub-process, or no GUI application); the browser UI thread
/// is then not running and browser creation fails.
///
bool CefInitialize(const CefMainArgs& args,
                   const CefSettings& settings,
                   CefRefPtr<CefApp> application,
                   void* windows_sandbox_info);

///
/// Closes every browser still open, delivers their OnBeforeClose, drains and
/// stops the browser UI thread and releases the engine. Call on the thread
/// that called CefInitialize, after the Qt event loop has returned.
///
void CefShutdown();

///
/// The application handler, given to CefExecuteProcess and CefInitialize.
///
class CefApp : public virtual CefBaseRefCounted {
 public:
  ///
  /// Lets the application change the command line before the engine reads it.
  /// Called on the GUI thread from CefInitialize with an empty |process_type|;
  /// switches it appends reach the engine.
  ///
  virtual void OnBeforeCommandLineProcessing(const CefString& process_type,
                                             CefRefPtr<CefCommandLine> command_line) {
    (void)process_type;
    (void)command_line;
  }

  ///
  /// Registers custom schemes. Never called: this engine offers none.
  ///
  virtual void OnRegisterCustomSchemes(CefRawPtr<CefSchemeRegistrar> registrar) { (void)registrar; }

  ///
  /// Returns the resource bundle handler, or null for the engine's own.
  ///
  virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }

  ///
  /// Returns the browser process handler, or null for none. Called on the GUI
  /// thread from CefInitialize.
  ///
  virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }

  ///
  /// Returns the render process handler, or null for none.
  ///
  virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

#endif  // CEF_INCLUDE_CEF_APP_H_
