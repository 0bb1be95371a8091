// The registry of the browsers that are open in this process, as CEF keeps
// it apart from its context: a browser is registered once its view exists
// and leaves when it closes. GUI thread only.
#ifndef CEF_LIBCEF_ENGINE_BROWSER_INFO_MANAGER_H_
#define CEF_LIBCEF_ENGINE_BROWSER_INFO_MANAGER_H_
#pragma once

#include <map>

#include "include/internal/cef_ptr.h"

class QUrl;
class QWebEnginePage;
class CefBrowserHostImpl;

namespace cef {

class BrowserInfoManager {
 public:
  /// GUI thread: the registry of this process.
  static BrowserInfoManager* GetInstance();

  void RegisterBrowser(CefRefPtr<CefBrowserHostImpl> browser);
  /// Forgets the browser; returns the registry's reference, or null.
  CefRefPtr<CefBrowserHostImpl> UnregisterBrowser(int id);
  CefRefPtr<CefBrowserHostImpl> GetBrowser(int id) const;
  /// The open browser that shows |page|, or null.
  CefRefPtr<CefBrowserHostImpl> GetBrowserForPage(const QWebEnginePage* page) const;
  ///
  /// The open browser to tell of something of |origin| that names no page:
  /// one that shows a page of that origin, the first non-popup one first;
  /// otherwise the first non-popup browser. Null when none is open.
  ///
  CefRefPtr<CefBrowserHostImpl> GetBrowserForOrigin(const QUrl& origin) const;
  /// Destroys every open browser now; each one leaves the registry.
  void DestroyAllBrowsers();

 private:
  std::map<int, CefRefPtr<CefBrowserHostImpl>> browsers_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_BROWSER_INFO_MANAGER_H_
