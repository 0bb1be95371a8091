// Callbacks about loading.
#ifndef CEF_INCLUDE_CEF_LOAD_HANDLER_H_
#define CEF_INCLUDE_CEF_LOAD_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"

///
/// Load callbacks, all on the browser UI thread. For one load the order is
/// OnLoadingStateChange(true), OnLoadStart, then OnLoadError when it failed,
/// OnLoadEnd, and OnLoadingStateChange(false). Defaults do nothing.
///
class CefLoadHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_errorcode_t ErrorCode;
  typedef cef_transition_type_t TransitionType;

  /// Called when loading starts or stops, with the navigation state.
  virtual void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack, bool canGoForward) {
    (void)browser;
    (void)isLoading;
    (void)canGoBack;
    (void)canGoForward;
  }

  /// Called when a frame starts loading.
  virtual void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, TransitionType transition_type) {
    (void)browser;
    (void)frame;
    (void)transition_type;
  }

  ///
  /// Called when a frame has finished loading, also after a failed load.
  /// |httpStatusCode| is 0 where the engine does not know it.
  ///
  virtual void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) {
    (void)browser;
    (void)frame;
    (void)httpStatusCode;
  }

  ///
  /// Called when a load failed or was cancelled. |errorCode| is Chromium's
  /// network error code (ERR_ABORTED for a stopped load), |errorText| its name
  /// ("ERR_CONNECTION_REFUSED"), |failedUrl| the address that failed.
  ///
  virtual void OnLoadError(CefRefPtr<CefBrowser> browser,
                           CefRefPtr<CefFrame> frame,
                           ErrorCode errorCode,
                           const CefString& errorText,
                           const CefString& failedUrl) {
    (void)browser;
    (void)frame;
    (void)errorCode;
    (void)errorText;
    (void)failedUrl;
  }
};

#endif  // CEF_INCLUDE_CEF_LOAD_HANDLER_H_
