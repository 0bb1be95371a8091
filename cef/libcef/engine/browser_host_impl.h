// A browser: the engine view that shows it, and its identity, state and
// client as the API sees them.
#ifndef CEF_LIBCEF_ENGINE_BROWSER_HOST_IMPL_H_
#define CEF_LIBCEF_ENGINE_BROWSER_HOST_IMPL_H_
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QPointer>
#include <QUrl>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineView>
#include <QWidget>

#include "include/cef_browser.h"
#include "include/cef_client.h"

#include "libcef/engine/engine_page.h"

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
  double GetZoomLevel() override { return zoom_level_.load(); }
  void SetZoomLevel(double zoomLevel) override;
  void Zoom(cef_zoom_command_t command) override;

  /// Any thread: the address of the current document, as last reported.
  QString CurrentUrl() const;

  // --- GUI thread only from here on.

  ///
  /// Creates browser |id| for CefBrowserHost::CreateBrowser, as a child of
  /// the window |info| names or in a window of its own, and starts loading
  /// |url|. Nothing happens when the parent window is gone.
  ///
  static void Create(const CefWindowInfo& info,
                     CefRefPtr<CefClient> client,
                     const QString& url,
                     const CefBrowserSettings& settings,
                     int id);

  ///
  /// Creates the engine view as a child of |parent| at |bounds|, or in a
  /// top-level window of its own when |parent| is null, and starts loading
  /// |url|. A window of its own belongs to |owner|, the opener's window, when
  /// there is one: it goes when the owner goes and never keeps the
  /// application running. Returns the page for a popup request of the engine.
  ///
  cef::EnginePage* CreateView(QWidget* parent,
                              const CefRect& bounds,
                              const CefBrowserSettings& settings,
                              const QUrl& url,
                              QWidget* owner = nullptr);
  /// Destroys the engine view now; OnBeforeClose follows.
  void DestroyNow();
  QWebEngineView* view() const { return view_; }
  cef::EnginePage* page() const { return page_; }
  /// Runs |action| with the engine view if it still exists.
  void WithView(std::function<void(QWebEngineView*, cef::EnginePage*)> action);
  void LoadURLNow(const QString& url);
  void LoadStringNow(const QString& content, const QString& url);

  ///
  /// Asks CefKeyboardHandler::OnPreKeyEvent on the browser UI thread and
  /// waits for its answer: true when the handler took the key. A handler that
  /// has not answered within a second leaves the key to the page.
  ///
  bool PreKeyEventNow(const CefKeyEvent& event);
  /// Hands a key the page did not handle to CefKeyboardHandler::OnKeyEvent.
  void KeyEventLater(const CefKeyEvent& event);

  /// A call to the client, run on the browser UI thread with this browser.
  using ClientTask = std::function<void(CefRefPtr<CefBrowserHostImpl> browser)>;

  ///
  /// Hands |task| to the browser UI thread behind every event reported
  /// before it. Dropped once OnBeforeClose has been handed over.
  ///
  void Deliver(ClientTask task);

  ///
  /// Like Deliver, and also once the browser has closed, after its
  /// OnBeforeClose: for what belongs to the client rather than to the
  /// browser, a download that the client accepted.
  ///
  void DeliverToClient(ClientTask task);

 private:
  // A failed load whose error the engine's error page is being asked for.
  struct PendingError {
    int serial;
    QString failed_url;     // the address that failed, as the page shows it
    QString requested_url;  // the address asked for, for a load that was aborted
    bool can_go_back;
    bool can_go_forward;
  };

  ~CefBrowserHostImpl() override;

  ///
  /// Any thread: posts |task| to the browser UI thread at once, past any
  /// event held back, with a reference that keeps this browser alive until
  /// the task has run. False when the runtime is not running.
  ///
  bool PostToUi(ClientTask task);

  void ConnectPage();
  void UpdateNavigationState();
  void ReloadNow(QWebEnginePage::WebAction action);

  // Reactions to the page, connected by ConnectPage.
  void OnTitleChanged(const QString& title);
  void OnUrlChanged(const QUrl& url);
  void OnMainFrameRequest(const QString& method, const QUrl& url);
  void OnLoadStarted();
  void OnLoadFinished(bool ok);
  void OnRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status);
  void OnWindowCloseRequested();
  // Whether the user may close the browser's own window now.
  bool OnOwnWindowClose();
  void OnConsoleMessage(cef_log_severity_t level, const QString& message, const QString& source, int line);
  void OnFeaturePermissionRequested(const QUrl& origin, QWebEnginePage::Feature feature);
  void OnFullScreenRequested(QWebEngineFullScreenRequest request);
  void OnGeometryChangeRequested(const QRect& geometry);

  ///
  /// Ends the pending error read and delivers the error, then the events held
  /// back behind it. |name| is what the error page said; without a name the
  /// load counts as |fallback_code|.
  ///
  void EndErrorRead(const QString& name, int fallback_code);
  /// Ends error read |serial|, unless another one has replaced it.
  void EndErrorReadIfPending(int serial, const QString& name, int fallback_code);
  void OnErrorPageRead(int serial, const QVariant& result);
  void OnViewDestroyed();
  void CloseWindowNow();
  void SetFullscreen(bool on);
  void SetZoomLevelNow(double level);

  const int id_;
  const bool is_popup_;
  const CefRefPtr<CefClient> client_;
  CefRefPtr<CefFrame> main_frame_;

  std::atomic<CefWindowHandle> window_handle_{0};
  std::atomic<bool> can_go_back_{false};
  std::atomic<bool> can_go_forward_{false};
  std::atomic<bool> is_loading_{false};
  std::atomic<bool> has_document_{false};
  // A close sequence is running: DoClose asked or the window being closed.
  std::atomic<bool> close_pending_{false};
  // The running close goes ahead even when the window refuses.
  std::atomic<bool> force_close_{false};
  // OnBeforeClose has been handed over; nothing more reaches the client.
  std::atomic<bool> closed_{false};
  // The zoom level last set; applied on the GUI thread.
  std::atomic<double> zoom_level_{0.0};

  mutable std::mutex url_lock_;
  QString url_;

  // GUI thread only.
  QPointer<QWebEngineView> view_;
  QPointer<cef::EnginePage> page_;
  QPointer<QWidget> own_window_;  // the top-level window of a popup
  bool stop_requested_ = false;
  bool window_closing_ = false;
  // LoadString's content is on its way and its load has not started.
  bool content_pending_ = false;
  QString content_url_;
  // The render process died and no load has started since.
  bool renderer_gone_ = false;
  // Where a navigation was going when its renderer died before it arrived.
  QUrl interrupted_url_;
  int error_serial_ = 0;
  std::unique_ptr<PendingError> pending_error_;
  std::vector<ClientTask> deferred_;
  Qt::WindowStates state_before_fullscreen_ = Qt::WindowNoState;

  IMPLEMENT_REFCOUNTING(CefBrowserHostImpl);
  DISALLOW_COPY_AND_ASSIGN(CefBrowserHostImpl);
};

#endif  // CEF_LIBCEF_ENGINE_BROWSER_HOST_IMPL_H_
