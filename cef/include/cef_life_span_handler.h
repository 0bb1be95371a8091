// Callbacks about the life of a browser.
#ifndef CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
#define CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

///
/// Life-span callbacks, all on the browser UI thread.
///
class CefLifeSpanHandler : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called after a new browser has been created: the main browser of a
  /// CreateBrowser request or a popup opened by a page.
  ///
  virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) { (void)browser; }

  ///
  /// Called when the browser has been asked to close. Return false to let the
  /// engine close the browser's top-level window, true to handle it yourself.
  ///
  virtual bool DoClose(CefRefPtr<CefBrowser> browser) {
    (void)browser;
    return false;
  }

  ///
  /// Called just before the browser goes away. Release every reference to it
  /// here. No other callback for this browser follows.
  ///
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) { (void)browser; }
};

#endif  // CEF_INCLUDE_CEF_LIFE_SPAN_HANDLER_H_
