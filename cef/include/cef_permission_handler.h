// Callbacks about the permissions that pages ask for.
#ifndef CEF_INCLUDE_CEF_PERMISSION_HANDLER_H_
#define CEF_INCLUDE_CEF_PERMISSION_HANDLER_H_
#pragma once

#include <cstdint>

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"

///
/// Answers a request for capture devices. Any thread.
///
class CefMediaAccessCallback : public virtual CefBaseRefCounted {
 public:
  ///
  /// Grants |allowed_permissions|, a subset of those requested. This engine
  /// grants a request whole or not at all: anything less than all requested
  /// refuses it.
  ///
  virtual void Continue(uint32_t allowed_permissions) = 0;
  /// Refuses the request; so does releasing the callback unused.
  virtual void Cancel() = 0;
};

///
/// Answers a permission prompt. Any thread.
///
class CefPermissionPromptCallback : public virtual CefBaseRefCounted {
 public:
  /// Only CEF_PERMISSION_RESULT_ACCEPT grants; releasing the callback unused
  /// refuses.
  virtual void Continue(cef_permission_request_result_t result) = 0;
};

///
/// Permission callbacks, all on the browser UI thread. Whatever a handler
/// does not take is refused.
///
class CefPermissionHandler : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called when a page asks for the microphone, the camera or the screen
  /// (getUserMedia). |requested_permissions| combines
  /// cef_media_access_permission_types_t values. Return true and answer
  /// through |callback| now or later; false refuses.
  ///
  virtual bool OnRequestMediaAccessPermission(CefRefPtr<CefBrowser> browser,
                                              CefRefPtr<CefFrame> frame,
                                              const CefString& requesting_origin,
                                              uint32_t requested_permissions,
                                              CefRefPtr<CefMediaAccessCallback> callback) {
    (void)browser;
    (void)frame;
    (void)requesting_origin;
    (void)requested_permissions;
    (void)callback;
    return false;
  }

  ///
  /// Called when a page asks for another permission (notifications,
  /// location, pointer lock). |requested_permissions| combines
  /// cef_permission_request_types_t values; |prompt_id| tells prompts apart.
  /// Return true and answer through |callback| now or later; false refuses.
  ///
  virtual bool OnShowPermissionPrompt(CefRefPtr<CefBrowser> browser,
                                      uint64_t prompt_id,
                                      const CefString& requesting_origin,
                                      uint32_t requested_permissions,
                                      CefRefPtr<CefPermissionPromptCallback> callback) {
    (void)browser;
    (void)prompt_id;
    (void)requesting_origin;
    (void)requested_permissions;
    (void)callback;
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_PERMISSION_HANDLER_H_
