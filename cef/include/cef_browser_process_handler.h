// Callbacks of the browser process.
#ifndef CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
#pragma once

#include <cstdint>

#include "include/cef_base.h"
#include "include/cef_command_line.h"
#include "include/cef_print_handler.h"
#include "include/cef_values.h"

///
/// Callbacks of the browser process. Every method has a default that does
/// nothing or returns null.
///
class CefBrowserProcessHandler : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called on the browser UI thread once the engine's context is ready.
  ///
  virtual void OnContextInitialized() {}

  ///
  /// Called before a child process is launched. Never called by this engine:
  /// child processes are launched by the engine core itself.
  ///
  virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {
    (void)command_line;
  }

  ///
  /// Called when a render process has been created. Never called by this
  /// engine.
  ///
  virtual void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) {
    (void)extra_info;
  }

  ///
  /// Returns the print handler, or null for none.
  ///
  virtual CefRefPtr<CefPrintHandler> GetPrintHandler() { return nullptr; }

  ///
  /// Called when an external message pump should run. Never called: this
  /// engine has no external pump.
  ///
  virtual void OnScheduleMessagePumpWork(int64_t delay_ms) { (void)delay_ms; }
};

#endif  // CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
