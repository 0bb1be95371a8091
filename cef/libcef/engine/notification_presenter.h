// Hands the engine's web notifications to the clients of the browsers whose
// pages raise them.
#ifndef CEF_LIBCEF_ENGINE_NOTIFICATION_PRESENTER_H_
#define CEF_LIBCEF_ENGINE_NOTIFICATION_PRESENTER_H_
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include <QObject>

#include "libcef/engine/browser_host_impl.h"

class QWebEngineNotification;
class QWebEngineProfile;

namespace cef {

///
/// The profile's notification presenter: each notification goes to
/// CefNotificationHandler::OnShowNotification of a browser's client (see
/// cef_notification_handler.h for which), the page hears `show` once the
/// client has taken it, and a close by the page reaches the client as
/// OnNotificationClosed. Lives on the Qt GUI thread; the profile's owner
/// deletes it before the profile.
///
class NotificationPresenter : public QObject {
 public:
  explicit NotificationPresenter(QWebEngineProfile* profile);
  ~NotificationPresenter() override;

  enum class Action { kShow, kClick, kClose };
  /// GUI thread: applies what the client decided or asked for to
  /// notification |id|; nothing once it has gone.
  void Control(uint64_t id, Action action);

 private:
  struct Entry {
    std::unique_ptr<QWebEngineNotification> notification;
    CefRefPtr<CefBrowserHostImpl> browser;
    CefRefPtr<CefNotification> object;
  };

  void Present(std::unique_ptr<QWebEngineNotification> notification);
  void OnClosedByPage(uint64_t id);
  /// Tells the client that |entry| is gone, as if the page had closed it.
  static void ReportClosed(const Entry& entry);

  // By identifier, oldest first.
  std::map<uint64_t, Entry> notifications_;
  uint64_t next_id_ = 1;
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_NOTIFICATION_PRESENTER_H_
