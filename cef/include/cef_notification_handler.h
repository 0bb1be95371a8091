// Callbacks about the web notifications that pages raise
// (`new Notification(title, {body})`).
#ifndef CEF_INCLUDE_CEF_NOTIFICATION_HANDLER_H_
#define CEF_INCLUDE_CEF_NOTIFICATION_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

///
/// A notification a page has raised. The texts are fixed when it is raised
/// and are the page's own: show them as plain text. Any thread.
///
class CefNotification : public virtual CefBaseRefCounted {
 public:
  /// The notification's title, as the page gave it.
  virtual CefString GetTitle() = 0;
  /// The notification's body, as the page gave it; may be empty.
  virtual CefString GetBody() = 0;
  /// The origin of the page that raised it: scheme, host and port.
  virtual CefString GetOrigin() = 0;
  ///
  /// The page's tag, empty when none. A notification of the same origin and
  /// non-empty tag replaces the one before it, which gets no close.
  ///
  virtual CefString GetTag() = 0;
  /// The page hears `click`. The notification stays until it is closed.
  virtual void Click() = 0;
  ///
  /// The page hears `close`; call it when the notification leaves the
  /// screen. Later calls on the notification do nothing.
  ///
  virtual void Close() = 0;
};

///
/// Notification callbacks, all on the browser UI thread. The page's
/// permission to raise notifications is asked through CefPermissionHandler
/// first. A client without a notification handler shows none: the
/// notifications are closed at once.
///
/// The engine tells notifications by origin only, not by page: each goes to
/// the client of an open browser that shows a page of its origin, the main
/// (first non-popup) one first, and to the client of the first non-popup
/// browser when no page of that origin is open.
///
class CefNotificationHandler : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called when a page raises |notification|. Return true when the client
  /// shows it: the page then hears `show`, and the client calls Close() once
  /// the notification has left the screen. Return false to drop it; the page
  /// hears `close`.
  ///
  virtual bool OnShowNotification(CefRefPtr<CefBrowser> browser, CefRefPtr<CefNotification> notification) {
    (void)browser;
    (void)notification;
    return false;
  }

  ///
  /// Called when the page closed |notification| itself (`close()`), with the
  /// object that OnShowNotification received. Take it off the screen;
  /// Close() is not needed any more.
  ///
  virtual void OnNotificationClosed(CefRefPtr<CefBrowser> browser, CefRefPtr<CefNotification> notification) {
    (void)browser;
    (void)notification;
  }
};

#endif  // CEF_INCLUDE_CEF_NOTIFICATION_HANDLER_H_
