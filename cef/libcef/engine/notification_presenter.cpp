#include "libcef/engine/notification_presenter.h"

#include <QPointer>
#include <QWebEngineNotification>
#include <QWebEngineProfile>

#include "libcef/engine/browser_info_manager.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

// A page that raises notifications without end must not make the engine
// keep them all: beyond this many the oldest is closed.
constexpr size_t kMaxNotifications = 100;

class NotificationImpl : public CefNotification {
 public:
  NotificationImpl(const QWebEngineNotification& notification, NotificationPresenter* presenter, uint64_t id)
      : title_(notification.title()),
        body_(notification.message()),
        origin_(notification.origin()
                    .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
                    .toString()),
        tag_(notification.tag()),
        presenter_(presenter),
        id_(id) {}

  // CefNotification methods.
  CefString GetTitle() override { return CefString(title_); }
  CefString GetBody() override { return CefString(body_); }
  CefString GetOrigin() override { return CefString(origin_); }
  CefString GetTag() override { return CefString(tag_); }
  void Click() override { Post(NotificationPresenter::Action::kClick); }
  void Close() override { Post(NotificationPresenter::Action::kClose); }

  /// Any thread: hands |action| to the presenter, if it is still there.
  void Post(NotificationPresenter::Action action) {
    CEF_POST_GUI_TASK(BindOnce(&NotificationPresenter::Control, presenter_, id_, action));
  }

 private:
  const QString title_;
  const QString body_;
  const QString origin_;
  const QString tag_;
  // Dereferenced on the GUI thread only.
  const QPointer<NotificationPresenter> presenter_;
  const uint64_t id_;
  IMPLEMENT_REFCOUNTING(NotificationImpl);
  DISALLOW_COPY_AND_ASSIGN(NotificationImpl);
};

}  // namespace

NotificationPresenter::NotificationPresenter(QWebEngineProfile* profile) : QObject(profile) {
  profile->setNotificationPresenter(
      BindRepeating(&NotificationPresenter::Present, QPointer<NotificationPresenter>(this)));
}

NotificationPresenter::~NotificationPresenter() = default;

void NotificationPresenter::Present(std::unique_ptr<QWebEngineNotification> notification) {
  CEF_REQUIRE_GUI_THREAD();
  CefRefPtr<CefBrowserHostImpl> browser =
      BrowserInfoManager::GetInstance()->GetBrowserForOrigin(notification->origin());
  if (!browser)
    return;  // Dropped unshown; the page hears nothing more of it.

  // The same tag replaces the notification before it; the client replaces
  // its own by tag as well, and the page expects no close for the old one.
  if (!notification->tag().isEmpty()) {
    for (auto it = notifications_.begin(); it != notifications_.end(); ++it) {
      if (it->second.notification->matches(notification.get())) {
        notifications_.erase(it);
        break;
      }
    }
  }
  if (notifications_.size() >= kMaxNotifications) {
    const auto oldest = notifications_.begin();
    oldest->second.notification->close();
    ReportClosed(oldest->second);
    notifications_.erase(oldest);
  }

  const uint64_t id = next_id_++;
  connect(notification.get(), &QWebEngineNotification::closed, this, [this, id] { OnClosedByPage(id); });
  CefRefPtr<NotificationImpl> object = new NotificationImpl(*notification, this, id);
  Entry& entry = notifications_[id];
  entry.object = object;
  entry.notification = std::move(notification);
  entry.browser = browser;

  browser->Deliver([object](CefRefPtr<CefBrowserHostImpl> browser) {
    CefRefPtr<CefNotificationHandler> handler = browser->GetClient()->GetNotificationHandler();
    const bool shown = handler && handler->OnShowNotification(browser.get(), object.get());
    object->Post(shown ? Action::kShow : Action::kClose);
  });
}

void NotificationPresenter::Control(uint64_t id, Action action) {
  CEF_REQUIRE_GUI_THREAD();
  const auto it = notifications_.find(id);
  if (it == notifications_.end())
    return;
  QWebEngineNotification* notification = it->second.notification.get();
  switch (action) {
    case Action::kShow:
      notification->show();
      break;
    case Action::kClick:
      notification->click();
      break;
    case Action::kClose:
      notification->close();
      notifications_.erase(it);
      break;
  }
}

void NotificationPresenter::OnClosedByPage(uint64_t id) {
  CEF_REQUIRE_GUI_THREAD();
  const auto it = notifications_.find(id);
  if (it == notifications_.end())
    return;
  ReportClosed(it->second);
  // The signal is being emitted by the object: it goes once that is over.
  it->second.notification.release()->deleteLater();
  notifications_.erase(it);
}

void NotificationPresenter::ReportClosed(const Entry& entry) {
  CefRefPtr<CefNotification> object = entry.object;
  entry.browser->Deliver([object](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefNotificationHandler> handler = browser->GetClient()->GetNotificationHandler())
      handler->OnNotificationClosed(browser.get(), object);
  });
}

}  // namespace cef
