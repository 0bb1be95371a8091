#include "libcef/engine/browser_host_impl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "libcef/engine/browser_context.h"
#include "libcef/engine/browser_info_manager.h"
#include "libcef/engine/browser_window.h"
#include "libcef/engine/engine_page.h"
#include "libcef/engine/frame_impl.h"
#include "libcef/engine/keyboard_filter.h"
#include "libcef/engine/net_error.h"
#include "libcef/engine/page_requests.h"
#include "libcef/engine/request_impl.h"
#include "libcef/engine/view_hold.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/stats.h"
#include "libcef/runtime/thread_util.h"

namespace {

typedef cef_termination_status_t TerminationStatus;

// Reads the error name that the engine's own error page shows. It runs in an
// isolated world so that page scripts cannot interfere with it, and only the
// engine's error page counts: an ordinary page may well have an element of
// that class.
const char kReadErrorCodeScript[] =
    "(function(){if(location.protocol!=='chrome-error:')return '';"
    "var e=document.querySelector('.error-code');"
    "return e?e.textContent.trim():'';})()";

// The error page answers within milliseconds; one that has not answered by
// then has lost its renderer or its frame, and the events held back behind
// the error must not wait for it.
constexpr int kErrorReadTimeoutMs = 3000;

void ApplyState(QWebEngineSettings* target, QWebEngineSettings::WebAttribute attribute, cef_state_t state) {
  if (state == STATE_ENABLED)
    target->setAttribute(attribute, true);
  else if (state == STATE_DISABLED)
    target->setAttribute(attribute, false);
}

// Chromium's zoom steps, as factors; the engine takes 25% to 500%.
const double kZoomSteps[] = {0.25, 1 / 3.0, 0.5,  2 / 3.0, 0.75, 0.8, 0.9, 1.0, 1.1,
                             1.25, 1.5,     1.75, 2.0,     2.5,  3.0, 4.0, 5.0};

double ZoomLevelOf(double factor) {
  return std::log(factor) / std::log(1.2);
}

// Connects |signal| of |sender|, the page or the view, to |reaction| of
// |browser|. The connection holds a reference, so that the browser lives as
// long as the sender.
template <typename Sender, typename Signal, typename... Params>
void Connect(Sender* sender,
             Signal signal,
             CefBrowserHostImpl* browser,
             void (CefBrowserHostImpl::*reaction)(Params...)) {
  CefRefPtr<CefBrowserHostImpl> ref(browser);
  QObject::connect(sender, signal, sender, [ref, reaction](Params... args) { (ref.get()->*reaction)(args...); });
}

QUrl ToUrl(const QString& text) {
  QUrl url(text);
  if (url.scheme().isEmpty())
    url = QUrl::fromUserInput(text);
  return url;
}

}  // namespace

CefBrowserHostImpl::CefBrowserHostImpl(int id, bool is_popup, CefRefPtr<CefClient> client)
    : id_(id), is_popup_(is_popup), client_(client) {
  cef::stats::Add(cef::stats::kBrowsers, 1);
}

CefBrowserHostImpl::~CefBrowserHostImpl() {
  cef::stats::Add(cef::stats::kBrowsers, -1);
  if (pending_error_)
    cef::stats::Add(cef::stats::kErrorReads, -1);
  cef::stats::Add(cef::stats::kDeferredEvents, -static_cast<int>(deferred_.size()));
}

bool CefBrowserHostImpl::IsSame(CefRefPtr<CefBrowser> that) {
  return that && that->GetIdentifier() == id_;
}

CefRefPtr<CefFrame> CefBrowserHostImpl::GetMainFrame() {
  return new CefFrameImpl(this);
}

QString CefBrowserHostImpl::CurrentUrl() const {
  std::lock_guard<std::mutex> guard(url_lock_);
  return url_;
}

void CefBrowserHostImpl::WithView(std::function<void(QWebEngineView*, cef::EnginePage*)> action) {
  CEF_REQUIRE_GUI_THREAD();
  if (view_ && page_)
    action(view_, page_);
}

void CefBrowserHostImpl::GoBack() {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::GoBack, this));
    return;
  }
  WithView([](QWebEngineView*, cef::EnginePage* page) { page->triggerAction(QWebEnginePage::Back); });
}

void CefBrowserHostImpl::GoForward() {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::GoForward, this));
    return;
  }
  WithView([](QWebEngineView*, cef::EnginePage* page) { page->triggerAction(QWebEnginePage::Forward); });
}

void CefBrowserHostImpl::Reload() {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::Reload, this));
    return;
  }
  ReloadNow(QWebEnginePage::Reload);
}

void CefBrowserHostImpl::ReloadIgnoreCache() {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::ReloadIgnoreCache, this));
    return;
  }
  ReloadNow(QWebEnginePage::ReloadAndBypassCache);
}

void CefBrowserHostImpl::ReloadNow(QWebEnginePage::WebAction action) {
  WithView([&](QWebEngineView*, cef::EnginePage* page) {
    // A renderer that died before the page it was loading arrived leaves the
    // page before as the current one, often the blank start page; the page
    // that was asked for is loaded instead, so that the browser ends up where
    // it was going.
    if (renderer_gone_ && !interrupted_url_.isEmpty())
      page->load(interrupted_url_);
    // A page given as a string under an address of its own, such as an
    // error page, asks for that address again, as Chromium reloads the
    // address it could not reach; reloading the string would show it again.
    else if (page->requestedUrl().scheme() == QLatin1String("data") && page->url().isValid() &&
             page->url().scheme() != QLatin1String("data"))
      page->load(page->url());
    else
      page->triggerAction(action);
  });
}

void CefBrowserHostImpl::StopLoad() {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::StopLoad, this));
    return;
  }
  WithView([this](QWebEngineView*, cef::EnginePage* page) {
    // A stopped load shows no error page; remember that the failure that
    // follows is ours.
    if (is_loading_)
      stop_requested_ = true;
    page->triggerAction(QWebEnginePage::Stop);
  });
}

void CefBrowserHostImpl::SetFocus(bool focus) {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::SetFocus, this, focus));
    return;
  }
  WithView([focus](QWebEngineView* view, cef::EnginePage*) {
    if (focus)
      view->setFocus();
    else
      view->clearFocus();
  });
}

void CefBrowserHostImpl::SetZoomLevel(double zoomLevel) {
  // Stored at once, so that GetZoomLevel on the caller's thread sees it.
  const double level = std::max(ZoomLevelOf(kZoomSteps[0]), std::min(zoomLevel, ZoomLevelOf(5.0)));
  zoom_level_ = level;
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::SetZoomLevelNow, this, level));
    return;
  }
  SetZoomLevelNow(level);
}

void CefBrowserHostImpl::Zoom(cef_zoom_command_t command) {
  if (!CEF_CURRENTLY_ON_GUIT()) {
    CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::Zoom, this, command));
    return;
  }
  // From the level the page shows now, which a navigation may have changed.
  const double current = page_ ? page_->zoomFactor() : 1.0;
  double factor = 1.0;
  if (command == CEF_ZOOM_COMMAND_IN) {
    factor = kZoomSteps[sizeof(kZoomSteps) / sizeof(kZoomSteps[0]) - 1];
    for (double step : kZoomSteps) {
      if (step > current + 0.001) {
        factor = step;
        break;
      }
    }
  } else if (command == CEF_ZOOM_COMMAND_OUT) {
    factor = kZoomSteps[0];
    for (double step : kZoomSteps) {
      if (step < current - 0.001)
        factor = step;
    }
  }
  zoom_level_ = ZoomLevelOf(factor);
  SetZoomLevelNow(ZoomLevelOf(factor));
}

void CefBrowserHostImpl::SetZoomLevelNow(double level) {
  WithView([level](QWebEngineView*, cef::EnginePage* page) { page->setZoomFactor(std::pow(1.2, level)); });
}

bool CefBrowserHostImpl::PreKeyEventNow(const CefKeyEvent& event) {
  CEF_REQUIRE_GUI_THREAD();
  struct Answer {
    std::mutex lock;
    std::condition_variable done;
    bool answered = false;
    bool handled = false;
  };
  if (closed_)
    return false;
  auto answer = std::make_shared<Answer>();
  // Past any event held back behind an error read: the key cannot wait.
  const bool posted = PostToUi([event, answer](CefRefPtr<CefBrowserHostImpl> browser) {
    bool handled = false;
    CefRefPtr<CefKeyboardHandler> handler = browser->closed_ ? nullptr : browser->client_->GetKeyboardHandler();
    if (handler) {
      bool shortcut = false;
      handled = handler->OnPreKeyEvent(browser.get(), event, nullptr, &shortcut);
    }
    std::lock_guard<std::mutex> guard(answer->lock);
    answer->answered = true;
    answer->handled = handled;
    answer->done.notify_one();
  });
  if (!posted)
    return false;
  // The browser UI thread never waits for the GUI thread, so this wait ends;
  // the bound only keeps a stuck handler from holding the keyboard.
  std::unique_lock<std::mutex> guard(answer->lock);
  answer->done.wait_for(guard, std::chrono::seconds(1), [&] { return answer->answered; });
  return answer->handled;
}

void CefBrowserHostImpl::KeyEventLater(const CefKeyEvent& event) {
  CEF_REQUIRE_GUI_THREAD();
  Deliver([event](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefKeyboardHandler> handler = browser->client_->GetKeyboardHandler())
      handler->OnKeyEvent(browser.get(), event, nullptr);
  });
}

void CefBrowserHostImpl::LoadURLNow(const QString& url) {
  WithView([&](QWebEngineView* view, cef::EnginePage* page) {
    cef::HoldViewDuringFirstLoad(view, page);
    page->load(ToUrl(url));
  });
}

void CefBrowserHostImpl::LoadStringNow(const QString& content, const QString& url) {
  WithView([&](QWebEngineView*, cef::EnginePage* page) {
    content_pending_ = true;
    content_url_ = url;
    page->setHtml(content, QUrl(url));
  });
}

void CefBrowserHostImpl::Deliver(ClientTask task) {
  CEF_REQUIRE_GUI_THREAD();
  if (closed_)
    return;
  if (pending_error_) {
    deferred_.push_back(std::move(task));
    cef::stats::Add(cef::stats::kDeferredEvents, 1);
    return;
  }
  PostToUi(std::move(task));
}

void CefBrowserHostImpl::DeliverToClient(ClientTask task) {
  CEF_REQUIRE_GUI_THREAD();
  if (closed_)
    PostToUi(std::move(task));
  else
    Deliver(std::move(task));
}

bool CefBrowserHostImpl::PostToUi(ClientTask task) {
  return cef::Context::PostUiTask(std::bind(std::move(task), CefRefPtr<CefBrowserHostImpl>(this)));
}

cef::EnginePage* CefBrowserHostImpl::CreateView(QWidget* parent,
                                                const CefRect& bounds,
                                                const CefBrowserSettings& settings,
                                                const QUrl& url,
                                                QWidget* owner) {
  CEF_REQUIRE_GUI_THREAD();
  QWidget* host = parent;
  cef::BrowserWindow* window = nullptr;
  if (!host) {
    window = new cef::BrowserWindow(owner, cef::BindRepeating(&CefBrowserHostImpl::OnOwnWindowClose, this));
    own_window_ = window;
    host = window;
  }

  cef::KeyboardFilter::Install();
  QWebEngineView* view = new QWebEngineView(host);
  view->setAttribute(Qt::WA_NativeWindow);
  view->setAttribute(Qt::WA_DontCreateNativeAncestors);
  // The page is not the view's child: it may have to outlive the view for a
  // moment, while a dialog of its own is still on the stack (see
  // EnginePage::Release).
  cef::EnginePage* page = new cef::EnginePage(cef::BrowserContext::Profile(), client_, nullptr);
  view->setPage(page);
  QWebEngineSettings* page_settings = page->settings();
  ApplyState(page_settings, QWebEngineSettings::JavascriptEnabled, settings.javascript);
  ApplyState(page_settings, QWebEngineSettings::AutoLoadImages, settings.image_loading);
  ApplyState(page_settings, QWebEngineSettings::LocalStorageEnabled, settings.local_storage);
  ApplyState(page_settings, QWebEngineSettings::WebGLEnabled, settings.webgl);
  if (settings.default_font_size > 0)
    page_settings->setFontSize(QWebEngineSettings::DefaultFontSize, settings.default_font_size);
  if (settings.default_fixed_font_size > 0)
    page_settings->setFontSize(QWebEngineSettings::DefaultFixedFontSize, settings.default_fixed_font_size);
  if (settings.minimum_font_size > 0)
    page_settings->setFontSize(QWebEngineSettings::MinimumFontSize, settings.minimum_font_size);
  if (settings.default_encoding.length)
    page_settings->setDefaultTextEncoding(CefString(&settings.default_encoding).ToQString());
  if (settings.background_color)
    page->setBackgroundColor(QColor::fromRgba(settings.background_color));
  view_ = view;
  page_ = page;
  ConnectPage();

  if (window) {
    window->SetContent(view);
    window->show();
  } else {
    view->setGeometry(bounds.x, bounds.y, bounds.width, bounds.height);
    view->show();
  }
  window_handle_ = static_cast<CefWindowHandle>(view->winId());

  cef::BrowserInfoManager::GetInstance()->RegisterBrowser(this);
  Connect(view, &QObject::destroyed, this, &CefBrowserHostImpl::OnViewDestroyed);
  Deliver([](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefLifeSpanHandler> handler = browser->client_->GetLifeSpanHandler())
      handler->OnAfterCreated(browser.get());
  });

  if (!url.isEmpty())
    page->load(url);
  return page;
}

void CefBrowserHostImpl::ConnectPage() {
  cef::EnginePage* page = page_;
  Connect(page, &QWebEnginePage::titleChanged, this, &CefBrowserHostImpl::OnTitleChanged);
  Connect(page, &QWebEnginePage::urlChanged, this, &CefBrowserHostImpl::OnUrlChanged);
  Connect(page, &cef::EnginePage::mainFrameRequest, this, &CefBrowserHostImpl::OnMainFrameRequest);
  Connect(page, &QWebEnginePage::loadStarted, this, &CefBrowserHostImpl::OnLoadStarted);
  Connect(page, &QWebEnginePage::loadFinished, this, &CefBrowserHostImpl::OnLoadFinished);
  Connect(page, &QWebEnginePage::renderProcessTerminated, this, &CefBrowserHostImpl::OnRenderProcessTerminated);
  Connect(page, &QWebEnginePage::windowCloseRequested, this, &CefBrowserHostImpl::OnWindowCloseRequested);
  Connect(page, &cef::EnginePage::consoleMessage, this, &CefBrowserHostImpl::OnConsoleMessage);
  Connect(page, &QWebEnginePage::featurePermissionRequested, this, &CefBrowserHostImpl::OnFeaturePermissionRequested);
  Connect(page, &QWebEnginePage::fullScreenRequested, this, &CefBrowserHostImpl::OnFullScreenRequested);
  if (is_popup_)
    Connect(page, &QWebEnginePage::geometryChangeRequested, this, &CefBrowserHostImpl::OnGeometryChangeRequested);
}

void CefBrowserHostImpl::OnTitleChanged(const QString& title) {
  Deliver([title](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefDisplayHandler> handler = browser->client_->GetDisplayHandler())
      handler->OnTitleChange(browser.get(), CefString(title));
  });
}

void CefBrowserHostImpl::OnUrlChanged(const QUrl& url) {
  const QString text = url.toString();
  {
    std::lock_guard<std::mutex> guard(url_lock_);
    url_ = text;
  }
  UpdateNavigationState();
  Deliver([text](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefDisplayHandler> handler = browser->client_->GetDisplayHandler())
      handler->OnAddressChange(browser.get(), browser->GetMainFrame(), CefString(text));
  });
}

void CefBrowserHostImpl::OnMainFrameRequest(const QString& method, const QUrl& url) {
  CefRefPtr<CefRequest> request = new cef::RequestImpl(url.toString(), method);
  Deliver([request](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefRequestHandler> handler = browser->client_->GetRequestHandler())
      handler->OnBeforeBrowse(browser.get(), browser->GetMainFrame(), request, false, false);
  });
}

void CefBrowserHostImpl::OnLoadStarted() {
  content_pending_ = false;
  // A new load supersedes a failed one whose error is still being read.
  EndErrorRead(QString(), ERR_ABORTED);
  renderer_gone_ = false;
  interrupted_url_.clear();
  is_loading_ = true;
  UpdateNavigationState();
  const bool back = can_go_back_;
  const bool forward = can_go_forward_;
  Deliver([back, forward](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefLoadHandler> handler = browser->client_->GetLoadHandler()) {
      handler->OnLoadingStateChange(browser.get(), true, back, forward);
      handler->OnLoadStart(browser.get(), browser->GetMainFrame(), TT_EXPLICIT);
    }
  });
}

void CefBrowserHostImpl::OnRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status) {
  if (status == QWebEnginePage::NormalTerminationStatus)
    return;
  // A dead renderer answers no error read.
  EndErrorRead(QString(), ERR_ABORTED);
  renderer_gone_ = true;
  // A navigation that had not arrived yet is lost with the renderer; remember
  // where it was going. Only while a load is under way: a page that has
  // arrived is simply reloaded, also one the page itself navigated to. A page
  // made here, such as the error page, is reloaded.
  const QUrl going = page_->LastNavigation();
  const bool interrupted =
      is_loading_ && going.isValid() && going.scheme() != QLatin1String("data") && going != page_->url();
  interrupted_url_ = interrupted ? going : QUrl();
  is_loading_ = false;
  TerminationStatus reported = TS_ABNORMAL_TERMINATION;
  if (status == QWebEnginePage::CrashedTerminationStatus)
    reported = TS_PROCESS_CRASHED;
  else if (status == QWebEnginePage::KilledTerminationStatus)
    reported = TS_PROCESS_WAS_KILLED;
  Deliver([reported](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefRequestHandler> handler = browser->client_->GetRequestHandler())
      handler->OnRenderProcessTerminated(browser.get(), reported);
  });
}

void CefBrowserHostImpl::OnWindowCloseRequested() {
  CloseBrowser(false);
}

bool CefBrowserHostImpl::OnOwnWindowClose() {
  // A window closed by the user runs the close sequence first, which closes
  // the window again once the client has agreed.
  if (window_closing_ || !cef::Context::Initialized())
    return true;
  CloseBrowser(false);
  return false;
}

void CefBrowserHostImpl::OnConsoleMessage(cef_log_severity_t level,
                                          const QString& message,
                                          const QString& source,
                                          int line) {
  Deliver([level, message, source, line](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefDisplayHandler> handler = browser->client_->GetDisplayHandler())
      handler->OnConsoleMessage(browser.get(), level, CefString(message), CefString(source), line);
  });
}

void CefBrowserHostImpl::OnFeaturePermissionRequested(const QUrl& origin, QWebEnginePage::Feature feature) {
  cef::RequestPermission(this, page_, origin, feature);
}

void CefBrowserHostImpl::OnFullScreenRequested(QWebEngineFullScreenRequest request) {
  request.accept();
  SetFullscreen(request.toggleOn());
}

void CefBrowserHostImpl::OnGeometryChangeRequested(const QRect& geometry) {
  if (own_window_ && geometry.isValid())
    own_window_->setGeometry(geometry);
}

void CefBrowserHostImpl::UpdateNavigationState() {
  if (!page_)
    return;
  can_go_back_ = page_->history()->canGoBack();
  can_go_forward_ = page_->history()->canGoForward();
}

void CefBrowserHostImpl::OnLoadFinished(bool ok) {
  is_loading_ = false;
  UpdateNavigationState();
  const bool back = can_go_back_;
  const bool forward = can_go_forward_;
  if (ok) {
    has_document_ = true;
    Deliver([back, forward](CefRefPtr<CefBrowserHostImpl> browser) {
      if (CefRefPtr<CefLoadHandler> handler = browser->client_->GetLoadHandler()) {
        handler->OnLoadEnd(browser.get(), browser->GetMainFrame(), 200);
        handler->OnLoadingStateChange(browser.get(), false, back, forward);
      }
    });
    return;
  }

  // The engine names the error only on its own error page, so it is read from
  // there; events that follow wait until the error has been delivered. The
  // addresses are taken now: by the time the page answers, another load may
  // have changed them.
  EndErrorRead(QString(), ERR_ABORTED);
  const int serial = ++error_serial_;
  if (content_pending_) {
    // Content that failed before it started, too large for a data address:
    // the page shown is still the one before, whose error is not this one.
    content_pending_ = false;
    pending_error_.reset(new PendingError{serial, QString(), content_url_, back, forward});
    cef::stats::Add(cef::stats::kErrorReads, 1);
    EndErrorRead(QString(), ERR_INVALID_URL);
    return;
  }
  pending_error_.reset(
      new PendingError{serial, page_->url().toString(), page_->requestedUrl().toString(), back, forward});
  cef::stats::Add(cef::stats::kErrorReads, 1);
  // A stopped load, or one whose renderer has died, has no error page to ask.
  if (stop_requested_ || renderer_gone_) {
    stop_requested_ = false;
    EndErrorRead(QString(), ERR_ABORTED);
    return;
  }
  page_->runJavaScript(QString::fromLatin1(kReadErrorCodeScript), QWebEngineScript::ApplicationWorld,
                       cef::BindOnce(&CefBrowserHostImpl::OnErrorPageRead, this, serial));
  // The load failed, but why stays unknown.
  QTimer::singleShot(kErrorReadTimeoutMs, page_.data(),
                     cef::BindOnce(&CefBrowserHostImpl::EndErrorReadIfPending, this, serial, QString(), ERR_FAILED));
}

void CefBrowserHostImpl::OnErrorPageRead(int serial, const QVariant& result) {
  EndErrorReadIfPending(serial, result.toString().trimmed(), ERR_ABORTED);
}

void CefBrowserHostImpl::EndErrorReadIfPending(int serial, const QString& name, int fallback_code) {
  // A late answer, for a read that has ended, is dropped.
  if (pending_error_ && pending_error_->serial == serial)
    EndErrorRead(name, fallback_code);
}

void CefBrowserHostImpl::EndErrorRead(const QString& name, int fallback_code) {
  std::unique_ptr<PendingError> error = std::move(pending_error_);
  if (!error)
    return;
  cef::stats::Add(cef::stats::kErrorReads, -1);
  int code = fallback_code;
  QString failed = error->requested_url;
  if (!name.isEmpty()) {
    code = cef::NetErrorFromName(name);
    if (code == ERR_NONE)
      code = ERR_FAILED;
    failed = error->failed_url.isEmpty() ? error->requested_url : error->failed_url;
  }
  const QString text = name.isEmpty() ? cef::NetErrorToName(code) : name;
  const bool back = error->can_go_back;
  const bool forward = error->can_go_forward;
  Deliver([code, text, failed, back, forward](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefLoadHandler> handler = browser->client_->GetLoadHandler()) {
      handler->OnLoadError(browser.get(), browser->GetMainFrame(), static_cast<cef_errorcode_t>(code), CefString(text),
                           CefString(failed));
      handler->OnLoadEnd(browser.get(), browser->GetMainFrame(), 0);
      handler->OnLoadingStateChange(browser.get(), false, back, forward);
    }
  });
  std::vector<ClientTask> deferred;
  deferred.swap(deferred_);
  cef::stats::Add(cef::stats::kDeferredEvents, -static_cast<int>(deferred.size()));
  for (auto& task : deferred)
    Deliver(std::move(task));
}

void CefBrowserHostImpl::SetFullscreen(bool on) {
  if (!view_)
    return;
  QWidget* window = view_->window();
  if (page_)
    page_->SetFullscreenView(on ? view_.data() : nullptr);
  if (on) {
    state_before_fullscreen_ = window->windowState() & ~Qt::WindowFullScreen;
    window->showFullScreen();
  } else {
    if (state_before_fullscreen_ & Qt::WindowMaximized)
      window->showMaximized();
    else
      window->showNormal();
  }
  Deliver([on](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefDisplayHandler> handler = browser->client_->GetDisplayHandler())
      handler->OnFullscreenModeChange(browser.get(), on);
  });
}

void CefBrowserHostImpl::CloseBrowser(bool force_close) {
  if (closed_)
    return;
  // A forced close upgrades one that is already running.
  if (force_close)
    force_close_ = true;
  if (close_pending_.exchange(true))
    return;
  const bool posted = PostToUi([](CefRefPtr<CefBrowserHostImpl> browser) {
    // Gone meanwhile, with its parent window: OnBeforeClose has been told.
    if (browser->closed_) {
      browser->close_pending_ = false;
      return;
    }
    bool handled = false;
    if (CefRefPtr<CefLifeSpanHandler> handler = browser->client_->GetLifeSpanHandler())
      handled = handler->DoClose(browser.get());
    if (handled) {
      // The client closes the window itself; a later close asks again.
      browser->force_close_ = false;
      browser->close_pending_ = false;
      return;
    }
    if (!CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::CloseWindowNow, browser.get())))
      browser->close_pending_ = false;
  });
  if (!posted)
    close_pending_ = false;
}

void CefBrowserHostImpl::CloseWindowNow() {
  CEF_REQUIRE_GUI_THREAD();
  if (!view_ || closed_) {
    close_pending_ = false;
    return;
  }
  // A top-level window that accepted the close is gone for the user, as a
  // closed native window is; the browser goes with it even when the window
  // object itself lives on hidden.
  QWidget* window = view_->window();
  window_closing_ = true;
  const bool accepted = window->close();
  window_closing_ = false;
  if (accepted || force_close_) {
    DestroyNow();
    return;
  }
  // The window stays; the next CloseBrowser tries again.
  close_pending_ = false;
}

void CefBrowserHostImpl::DestroyNow() {
  CEF_REQUIRE_GUI_THREAD();
  if (own_window_)
    delete own_window_.data();
  else if (view_)
    delete view_.data();
}

void CefBrowserHostImpl::OnViewDestroyed() {
  CEF_REQUIRE_GUI_THREAD();
  if (closed_)
    return;
  window_handle_ = 0;
  // Events held back for a pending error go first; OnBeforeClose is last,
  // and nothing is delivered after it, also not the engine's late answers
  // for the page that is going.
  EndErrorRead(QString(), ERR_ABORTED);
  closed_ = true;
  close_pending_ = false;
  if (page_)
    page_->Release();
  PostToUi([](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefLifeSpanHandler> handler = browser->client_->GetLifeSpanHandler())
      handler->OnBeforeClose(browser.get());
  });
  cef::BrowserInfoManager::GetInstance()->UnregisterBrowser(id_);
}

void CefBrowserHostImpl::Create(const CefWindowInfo& info,
                                CefRefPtr<CefClient> client,
                                const QString& url,
                                const CefBrowserSettings& settings,
                                int id) {
  CEF_REQUIRE_GUI_THREAD();
  QWidget* parent = nullptr;
  if (info.parent_window) {
    parent = QWidget::find(static_cast<WId>(info.parent_window));
    // The parent went away before the request ran: no browser.
    if (!parent)
      return;
  }
  CefRefPtr<CefBrowserHostImpl> browser = new CefBrowserHostImpl(id, false, client);
  browser->CreateView(parent, CefRect(info.bounds.x, info.bounds.y, info.bounds.width, info.bounds.height), settings,
                      url.isEmpty() ? QUrl() : ToUrl(url));
}
