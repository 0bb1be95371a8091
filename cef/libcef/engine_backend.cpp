// The engine module's side of the runtime: the backend the runtime calls,
// the profile and the registry of live browsers.
#include <map>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QQuickWindow>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "libcef/backend.h"
#include "libcef/browser_host_impl.h"
#include "libcef/build_id.h"
#include "libcef/context.h"
#include "libcef/download_manager.h"
#include "libcef/notification_presenter.h"
#include "libcef/stats.h"

namespace QtWebEngineCore {
// The engine core's own entry for its sub-processes, exported by
// libQt5WebEngineCore; Qt's helper executable is nothing but a call to it.
int processMain(int argc, const char** argv);
}  // namespace QtWebEngineCore

namespace cef {

namespace {

// GUI thread only.
QPointer<QWebEngineProfile> g_profile;
std::map<int, CefRefPtr<CefBrowserHostImpl>> g_browsers;
QPointer<NotificationPresenter> g_notification_presenter;

// Scheme, host and port, the port written out.
QString OriginOf(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  const int port = url.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1);
  return scheme + QLatin1String("://") + url.host().toLower() + QLatin1Char(':') + QString::number(port);
}

class EngineBackend : public Backend {
 public:
  // Backend methods.
  int ProcessMain(int argc, const char** argv) override { return QtWebEngineCore::processMain(argc, argv); }

  void CreateBrowser(const CefWindowInfo& info,
                     CefRefPtr<CefClient> client,
                     const QString& url,
                     const CefBrowserSettings& settings,
                     int id) override {
    CefBrowserHostImpl::Create(info, client, url, settings, id);
  }

  void UseSoftwareSceneGraph() override {
    CEF_REQUIRE_GUI_THREAD();
    // Before the engine starts: it reads the choice to decide how it composites.
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
  }

  void CloseAllBrowsers() override {
    CEF_REQUIRE_GUI_THREAD();
    // Destroying a browser's engine view delivers its OnBeforeClose to the
    // UI thread.
    while (!g_browsers.empty()) {
      CefRefPtr<CefBrowserHostImpl> browser = g_browsers.begin()->second;
      browser->DestroyNow();
      if (g_browsers.erase(browser->GetIdentifier()))
        stats::Add(stats::kRegistered, -1);
    }
  }

  void ReleaseProfile() override {
    CEF_REQUIRE_GUI_THREAD();
    // Pages went with their views, or are about to, kept for a moment by a
    // dialog call that has returned since; the notifications they raised go
    // before the profile, and then the profile.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete g_notification_presenter.data();
    delete g_profile.data();
  }
};

}  // namespace

QWebEngineProfile* Context::Profile() {
  CEF_REQUIRE_GUI_THREAD();
  if (g_profile)
    return g_profile;
  QWebEngineProfile* profile = nullptr;
  if (cache_path_.isEmpty()) {
    // No cache path: browser data lives in memory only, as in an incognito
    // window.
    profile = new QWebEngineProfile();
  } else {
    profile = new QWebEngineProfile(QStringLiteral("cef"));
    profile->setPersistentStoragePath(cache_path_);
    profile->setCachePath(cache_path_);
    profile->setPersistentCookiesPolicy(persist_session_cookies_ ? QWebEngineProfile::ForcePersistentCookies
                                                                 : QWebEngineProfile::AllowPersistentCookies);
  }
  // A disk cache would keep full URLs, queries and the credentials in them
  // included, on disk; the HTTP cache stays in memory.
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  if (!user_agent_.isEmpty())
    profile->setHttpUserAgent(user_agent_);
  if (!accept_language_.isEmpty())
    profile->setHttpAcceptLanguage(accept_language_);
  profile->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
  // Downloads go to the clients of the browsers that start them.
  new DownloadManager(profile);
  // Notifications go to the clients of the browsers that show their origin.
  g_notification_presenter = new NotificationPresenter(profile);
  g_profile = profile;
  return profile;
}

void Context::RegisterBrowser(CefRefPtr<CefBrowserHostImpl> browser) {
  CEF_REQUIRE_GUI_THREAD();
  if (g_browsers.emplace(browser->GetIdentifier(), browser).second)
    stats::Add(stats::kRegistered, 1);
}

CefRefPtr<CefBrowserHostImpl> Context::UnregisterBrowser(int id) {
  CEF_REQUIRE_GUI_THREAD();
  const auto it = g_browsers.find(id);
  if (it == g_browsers.end())
    return nullptr;
  CefRefPtr<CefBrowserHostImpl> browser = it->second;
  g_browsers.erase(it);
  stats::Add(stats::kRegistered, -1);
  return browser;
}

CefRefPtr<CefBrowserHostImpl> Context::GetBrowser(int id) const {
  CEF_REQUIRE_GUI_THREAD();
  const auto it = g_browsers.find(id);
  return it == g_browsers.end() ? nullptr : it->second;
}

CefRefPtr<CefBrowserHostImpl> Context::GetBrowserForPage(const QWebEnginePage* page) const {
  CEF_REQUIRE_GUI_THREAD();
  if (!page)
    return nullptr;
  for (const auto& entry : g_browsers) {
    if (entry.second->page() == page)
      return entry.second;
  }
  return nullptr;
}

CefRefPtr<CefBrowserHostImpl> Context::GetBrowserForOrigin(const QUrl& origin) const {
  CEF_REQUIRE_GUI_THREAD();
  const QString wanted = OriginOf(origin);
  CefRefPtr<CefBrowserHostImpl> same_origin;
  CefRefPtr<CefBrowserHostImpl> first;
  for (const auto& entry : g_browsers) {
    const CefRefPtr<CefBrowserHostImpl>& browser = entry.second;
    const bool matches = !origin.host().isEmpty() && OriginOf(QUrl(browser->CurrentUrl())) == wanted;
    if (matches && !browser->IsPopup())
      return browser;
    if (matches && !same_origin)
      same_origin = browser;
    if (!first && !browser->IsPopup())
      first = browser;
  }
  return same_origin ? same_origin : first;
}

}  // namespace cef

cef::Backend* cef_engine_backend() {
  static cef::EngineBackend backend;
  return &backend;
}

const char* cef_engine_build_id() {
  return CEF_BUILD_ID;
}
