#include "libcef/engine/browser_info_manager.h"

#include <QUrl>

#include "libcef/engine/browser_host_impl.h"
#include "libcef/runtime/stats.h"
#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

// Scheme, host and port, the port written out.
QString OriginOf(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  const int port = url.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1);
  return scheme + QLatin1String("://") + url.host().toLower() + QLatin1Char(':') + QString::number(port);
}

}  // namespace

BrowserInfoManager* BrowserInfoManager::GetInstance() {
  CEF_REQUIRE_GUI_THREAD();
  static BrowserInfoManager instance;
  return &instance;
}

void BrowserInfoManager::RegisterBrowser(CefRefPtr<CefBrowserHostImpl> browser) {
  CEF_REQUIRE_GUI_THREAD();
  if (browsers_.emplace(browser->GetIdentifier(), browser).second)
    stats::Add(stats::kRegistered, 1);
}

CefRefPtr<CefBrowserHostImpl> BrowserInfoManager::UnregisterBrowser(int id) {
  CEF_REQUIRE_GUI_THREAD();
  const auto it = browsers_.find(id);
  if (it == browsers_.end())
    return nullptr;
  CefRefPtr<CefBrowserHostImpl> browser = it->second;
  browsers_.erase(it);
  stats::Add(stats::kRegistered, -1);
  return browser;
}

CefRefPtr<CefBrowserHostImpl> BrowserInfoManager::GetBrowser(int id) const {
  CEF_REQUIRE_GUI_THREAD();
  const auto it = browsers_.find(id);
  return it == browsers_.end() ? nullptr : it->second;
}

CefRefPtr<CefBrowserHostImpl> BrowserInfoManager::GetBrowserForPage(const QWebEnginePage* page) const {
  CEF_REQUIRE_GUI_THREAD();
  if (!page)
    return nullptr;
  for (const auto& entry : browsers_) {
    if (entry.second->page() == page)
      return entry.second;
  }
  return nullptr;
}

CefRefPtr<CefBrowserHostImpl> BrowserInfoManager::GetBrowserForOrigin(const QUrl& origin) const {
  CEF_REQUIRE_GUI_THREAD();
  const QString wanted = OriginOf(origin);
  CefRefPtr<CefBrowserHostImpl> same_origin;
  CefRefPtr<CefBrowserHostImpl> first;
  for (const auto& entry : browsers_) {
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

void BrowserInfoManager::DestroyAllBrowsers() {
  CEF_REQUIRE_GUI_THREAD();
  // Destroying a browser's engine view delivers its OnBeforeClose to the
  // UI thread.
  while (!browsers_.empty()) {
    CefRefPtr<CefBrowserHostImpl> browser = browsers_.begin()->second;
    browser->DestroyNow();
    if (browsers_.erase(browser->GetIdentifier()))
      stats::Add(stats::kRegistered, -1);
  }
}

}  // namespace cef
