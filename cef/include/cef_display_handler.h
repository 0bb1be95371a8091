// Callbacks about what a browser displays.
#ifndef CEF_INCLUDE_CEF_DISPLAY_HANDLER_H_
#define CEF_INCLUDE_CEF_DISPLAY_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"

///
/// Display callbacks, all on the browser UI thread. Defaults do nothing.
///
class CefDisplayHandler : public virtual CefBaseRefCounted {
 public:
  /// Called when a frame's address has changed.
  virtual void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& url) {
    (void)browser;
    (void)frame;
    (void)url;
  }

  /// Called when the page title changes.
  virtual void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) {
    (void)browser;
    (void)title;
  }

  ///
  /// Called when a page writes to its console, with the message's severity,
  /// the script that wrote it and its line. Return true when the message has
  /// been dealt with. The engine keeps no log of its own, so a message that no
  /// client takes goes nowhere.
  ///
  virtual bool OnConsoleMessage(CefRefPtr<CefBrowser> browser,
                                cef_log_severity_t level,
                                const CefString& message,
                                const CefString& source,
                                int line) {
    (void)browser;
    (void)level;
    (void)message;
    (void)source;
    (void)line;
    return false;
  }

  ///
  /// Called when the page enters or leaves HTML5 fullscreen. The engine has
  /// already made the browser's window fill the screen or restored it.
  ///
  virtual void OnFullscreenModeChange(CefRefPtr<CefBrowser> browser, bool fullscreen) {
    (void)browser;
    (void)fullscreen;
  }
};

#endif  // CEF_INCLUDE_CEF_DISPLAY_HANDLER_H_
