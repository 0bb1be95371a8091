// Callbacks about a browser's requests and its render process.
#ifndef CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"

///
/// Request callbacks, all on the browser UI thread. Defaults do nothing.
///
class CefRequestHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_termination_status_t TerminationStatus;

  ///
  /// Called for each request of |frame| that loads a document, redirects
  /// included, before it is sent. In this layer the navigation cannot be
  /// held here: it goes ahead whatever the return value says.
  ///
  virtual bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser,
                              CefRefPtr<CefFrame> frame,
                              CefRefPtr<CefRequest> request,
                              bool user_gesture,
                              bool is_redirect) {
    (void)browser;
    (void)frame;
    (void)request;
    (void)user_gesture;
    (void)is_redirect;
    return false;
  }

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
