#include "libcef/engine/browser_context.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "libcef/engine/download_manager.h"
#include "libcef/engine/notification_presenter.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

// GUI thread only.
QPointer<QWebEngineProfile> g_profile;
QPointer<NotificationPresenter> g_notification_presenter;

}  // namespace

QWebEngineProfile* BrowserContext::Profile() {
  CEF_REQUIRE_GUI_THREAD();
  if (g_profile)
    return g_profile;
  const Context* context = Context::Get();
  QWebEngineProfile* profile = nullptr;
  if (context->cache_path().isEmpty()) {
    // No cache path: browser data lives in memory only, as in an incognito
    // window.
    profile = new QWebEngineProfile();
  } else {
    profile = new QWebEngineProfile(QStringLiteral("cef"));
    profile->setPersistentStoragePath(context->cache_path());
    profile->setCachePath(context->cache_path());
    profile->setPersistentCookiesPolicy(context->persist_session_cookies() ? QWebEngineProfile::ForcePersistentCookies
                                                                           : QWebEngineProfile::AllowPersistentCookies);
  }
  // A disk cache would keep full URLs, queries and the credentials in them
  // included, on disk; the HTTP cache stays in memory.
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  if (!context->user_agent().isEmpty())
    profile->setHttpUserAgent(context->user_agent());
  if (!context->accept_language().isEmpty())
    profile->setHttpAcceptLanguage(context->accept_language());
  profile->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
  // Downloads go to the clients of the browsers that start them.
  new DownloadManager(profile);
  // Notifications go to the clients of the browsers that show their origin.
  g_notification_presenter = new NotificationPresenter(profile);
  g_profile = profile;
  return profile;
}

void BrowserContext::Release() {
  CEF_REQUIRE_GUI_THREAD();
  // Pages went with their views, or are about to, kept for a moment by a
  // dialog call that has returned since; the notifications they raised go
  // before the profile, and then the profile.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  delete g_notification_presenter.data();
  delete g_profile.data();
}

}  // namespace cef
