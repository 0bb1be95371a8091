// Callbacks about a browser's requests and its render process.
#ifndef CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

///
/// Request callbacks, all on the browser UI thread. Defaults do nothing.
///
class CefRequestHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_termination_status_t TerminationStatus;

  ///
  /// Called when the render process of |browser| ended unexpectedly. The
  /// browser stays; loading a page again starts a new render process.
  ///
  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) {
    (void)browser;
    (void)status;
  }
};

#endif  // CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
