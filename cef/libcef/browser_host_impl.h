// A browser: the engine view that shows it, and its identity, state and
// client as the API sees them.
#ifndef CEF_LIBCEF_BROWSER_HOST_IMPL_H_
#define CEF_LIBCEF_BROWSER_HOST_IMPL_H_
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include <QPointer>
#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

#include "include/cef_browser.h"
#include "include/cef_client.h"

#include "libcef/engine_page.h"

///
/// Implements CefBrowser and CefBrowserHost. Identity and the last reported
/// navigation state may be read on any thread; the engine view is touched on
/// the Qt GUI thread only, and every command is handed to that thread.
///
class CefBrowserHostImpl : public CefBrowser, public CefBrowserHost {
 public:
  CefBrowserHostImpl(int id, bool is_popup, CefRefPtr<CefClient> client);

  // CefBrowser methods.
  CefRefPtr<CefBrowserHost> GetHost() override { return this; }
  bool CanGoBack() override { return can_go_back_.load(); }
  void GoBack() override;
  bool CanGoForward() override { return can_go_forward_.load(); }
  void GoForward() override;
  bool IsLoading() override { return is_loading_.load(); }
  void Reload() override;
  void ReloadIgnoreCache() override;
  void StopLoad() override;
  int GetIdentifier() override { return id_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override;
  bool IsPopup() override { return is_popup_; }
  bool HasDocument() override { return has_document_.load(); }
  CefRefPtr<CefFrame> GetMainFrame() override;

  // CefBrowserHost methods.
  CefRefPtr<CefBrowser> GetBrowser() override { return this; }
  void CloseBrowser(bool force_close) override;
  CefWindowHandle GetWindowHandle() override { return window_handle_.load(); }
  CefRefPtr<CefClient> GetClient() override { return client_; }
  void SetFocus(bool focus) override;

  /// Any thread: the address of the current document, as last reported.
  QString CurrentUrl() const;

  // --- GUI thread only from here on.

  ///
  /// Creates the engine view as a child of |parent| at |bounds|, or in a
  /// top-level window of its own when |parent| is null, and starts loading
  /// |url|. Returns the page for a popup request of the engine.
  ///
  cef::EnginePage* CreateView(QWidget* parent, const CefRect& bounds, const CefBrowserSettings& settings,
                              const QUrl& url);
  /// Destroys the engine view now; OnBeforeClose follows.
  void DestroyNow();
  QWebEngineView* view() const { return view_; }
  cef::EnginePage* page() const { return page_; }
  /// Runs |action| with the engine view if it still exists.
  void WithView(std::function<void(QWebEngineView*, cef::EnginePage*)> action);
  void LoadURLNow(const QString& url);
  void LoadStringNow(const QString& content, const QString& url);

  /// Hands |callback| to the browser UI thread behind every event reported
  /// before it.
  void Deliver(std::function<void()> callback);

 private:
  ~CefBrowserHostImpl() override;

  void ConnectPage();
  void UpdateNavigationState();
  void OnLoadFinished(bool ok);
  void OnViewDestroyed();
  void CloseWindowNow(bool force_close);
  void SetFullscreen(bool on);

  const int id_;
  const bool is_popup_;
  const CefRefPtr<CefClient> client_;
  CefRefPtr<CefFrame> main_frame_;

  std::atomic<CefWindowHandle> window_handle_{0};
  std::atomic<bool> can_go_back_{false};
  std::atomic<bool> can_go_forward_{false};
  std::atomic<bool> is_loading_{false};
  std::atomic<bool> has_document_{false};
  std::atomic<bool> close_started_{false};

  mutable std::mutex url_lock_;
  QString url_;

  // GUI thread only.
  QPointer<QWebEngineView> view_;
  QPointer<cef::EnginePage> page_;
  QPointer<QWidget> own_window_;  // the top-level window of a popup
  bool stop_requested_ = false;
  bool awaiting_error_ = false;
  bool closed_ = false;
  std::vector<std::function<void()>> deferred_;
  Qt::WindowStates state_before_fullscreen_ = Qt::WindowNoState;

  IMPLEMENT_REFCOUNTING(CefBrowserHostImpl);
  DISALLOW_COPY_AND_ASSIGN(CefBrowserHostImpl);
};

#endif  // CEF_LIBCEF_BROWSER_HOST_IMPL_H_
