// Callbacks about a browser's requests and its render process.
#ifndef CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_callback.h"
#include "include/cef_ssl_info.h"
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

  ///
  /// Called when a server presented a certificate that nobody the system
  /// trusts vouches for, or that is otherwise wanting, and the error may be
  /// overridden. |request_url| is the address asked for;
  /// |ssl_info| holds the certificate. Return true and call
  /// CefCallback::Continue() to go on or CefCallback::Cancel() to refuse, now
  /// or later; the request waits meanwhile without holding anything else.
  /// Return false to refuse at once. A callback released unanswered, also
  /// when the browser closes first, refuses.
  ///
  virtual bool OnCertificateError(CefRefPtr<CefBrowser> browser,
                                  cef_errorcode_t cert_error,
                                  const CefString& request_url,
                                  CefRefPtr<CefSSLInfo> ssl_info,
                                  CefRefPtr<CefCallback> callback) {
    (void)browser;
    (void)cert_error;
    (void)request_url;
    (void)ssl_info;
    (void)callback;
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
