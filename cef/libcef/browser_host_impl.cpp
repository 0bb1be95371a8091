#include "libcef/browser_host_impl.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "libcef/browser_window.h"
#include "libcef/context.h"
#include "libcef/engine_page.h"
#include "libcef/frame_impl.h"
#include "libcef/net_error.h"
#include "libcef/page_requests.h"

namespace {

typedef cef_termination_status_t TerminationStatus;

// Reads the error name that the engine's own error page shows. It runs in an
// isolated world so that page scripts cannot interfere with it.
const char kReadErrorCodeScript[] =
    "(function(){var e=document.querySelector('.error-code');"
    "return e?e.textContent.trim():'';})()";

void ApplyState(QWebEngineSettings* target, QWebEngineSettings::WebAttribute attribute, cef_state_t state) {
  if (state == STATE_ENABLED)
    target->setAttribute(attribute, true);
  else if (state == STATE_DISABLED)
    target->setAttribute(attribute, false);
}

QUrl ToUrl(const QString& text) {
  QUrl url(text);
  if (url.scheme().isEmpty())
    url = QUrl::fromUserInput(text);
  return url;
}

}  // namespace

CefBrowserHostImpl::CefBrowserHostImpl(int id, bool is_popup, CefRefPtr<CefClient> client)
    : id_(id), is_popup_(is_popup), client_(client) {}

CefBrowserHostImpl::~CefBrowserHostImpl() = default;

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
  if (view_ && page_)
    action(view_, page_);
}

#define ON_GUI_THREAD(body)                                          \
  do {                                                               \
    CefRefPtr<CefBrowserHostImpl> self = this;                       \
    cef::Context::PostGuiTask([self] { self->WithView(body); });     \
  } while (0)

void CefBrowserHostImpl::GoBack() {
  ON_GUI_THREAD([](QWebEngineView*, cef::EnginePage* page) { page->triggerAction(QWebEnginePage::Back); });
}

void CefBrowserHostImpl::GoForward() {
  ON_GUI_THREAD([](QWebEngineView*, cef::EnginePage* page) { page->triggerAction(QWebEnginePage::Forward); });
}

void CefBrowserHostImpl::Reload() {
  ON_GUI_THREAD([](QWebEngineView*, cef::EnginePage* page) { page->triggerAction(QWebEnginePage::Reload); });
}

void CefBrowserHostImpl::ReloadIgnoreCache() {
  ON_GUI_THREAD(
      [](QWebEngineView*, cef::EnginePage* page) { page->triggerAction(QWebEnginePage::ReloadAndBypassCache); });
}

void CefBrowserHostImpl::StopLoad() {
  CefRefPtr<CefBrowserHostImpl> self = this;
  cef::Context::PostGuiTask([self] {
    self->WithView([&](QWebEngineView*, cef::EnginePage* page) {
      // A stopped load shows no error page; remember that the failure that
      // follows is ours.
      if (self->is_loading_)
        self->stop_requested_ = true;
      page->triggerAction(QWebEnginePage::Stop);
    });
  });
}

void CefBrowserHostImpl::SetFocus(bool focus) {
  CefRefPtr<CefBrowserHostImpl> self = this;
  cef::Context::PostGuiTask([self, focus] {
    self->WithView([focus](QWebEngineView* view, cef::EnginePage*) {
      if (focus)
        view->setFocus();
      else
        view->clearFocus();
    });
  });
}

#undef ON_GUI_THREAD

void CefBrowserHostImpl::LoadURLNow(const QString& url) {
  WithView([&](QWebEngineView*, cef::EnginePage* page) { page->load(ToUrl(url)); });
}

void CefBrowserHostImpl::LoadStringNow(const QString& content, const QString& url) {
  WithView([&](QWebEngineView*, cef::EnginePage* page) { page->setHtml(content, QUrl(url)); });
}

void CefBrowserHostImpl::Deliver(std::function<void()> callback) {
  if (awaiting_error_) {
    deferred_.push_back(std::move(callback));
    return;
  }
  cef::Context::PostUiTask(std::move(callback));
}

cef::EnginePage* CefBrowserHostImpl::CreateView(QWidget* parent,
                                                const CefRect& bounds,
                                                const CefBrowserSettings& settings,
                                                const QUrl& url) {
  cef::Context* context = cef::Context::Get();
  QWidget* host = parent;
  cef::BrowserWindow* window = nullptr;
  if (!host) {
    CefRefPtr<CefBrowserHostImpl> self = this;
    window = new cef::BrowserWindow([self] {
      // A window closed by the user runs the close sequence first, which
      // closes the window again once the client has agreed.
      if (self->close_started_.load() || !cef::Context::Initialized())
        return true;
      self->CloseBrowser(false);
      return false;
    });
    own_window_ = window;
    host = window;
  }

  QWebEngineView* view = new QWebEngineView(host);
  view->setAttribute(Qt::WA_NativeWindow);
  view->setAttribute(Qt::WA_DontCreateNativeAncestors);
  cef::EnginePage* page = new cef::EnginePage(context->Profile(), client_, view);
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

  context->RegisterBrowser(this);
  CefRefPtr<CefBrowserHostImpl> self = this;
  QObject::connect(view, &QObject::destroyed, [self] { self->OnViewDestroyed(); });
  Deliver([self] {
    if (CefRefPtr<CefLifeSpanHandler> handler = self->client_->GetLifeSpanHandler())
      handler->OnAfterCreated(self.get());
  });

  if (!url.isEmpty())
    page->load(url);
  return page;
}

void CefBrowserHostImpl::ConnectPage() {
  cef::EnginePage* page = page_;
  CefRefPtr<CefBrowserHostImpl> self = this;

  QObject::connect(page, &QWebEnginePage::titleChanged, page, [self](const QString& title) {
    self->Deliver([self, title] {
      if (CefRefPtr<CefDisplayHandler> handler = self->client_->GetDisplayHandler())
        handler->OnTitleChange(self.get(), CefString(title));
    });
  });
  QObject::connect(page, &QWebEnginePage::urlChanged, page, [self](const QUrl& url) {
    const QString text = url.toString();
    {
      std::lock_guard<std::mutex> guard(self->url_lock_);
      self->url_ = text;
    }
    self->UpdateNavigationState();
    self->Deliver([self, text] {
      if (CefRefPtr<CefDisplayHandler> handler = self->client_->GetDisplayHandler())
        handler->OnAddressChange(self.get(), self->GetMainFrame(), CefString(text));
    });
  });
  QObject::connect(page, &QWebEnginePage::loadStarted, page, [self] {
    self->is_loading_ = true;
    self->UpdateNavigationState();
    const bool back = self->can_go_back_;
    const bool forward = self->can_go_forward_;
    self->Deliver([self, back, forward] {
      if (CefRefPtr<CefLoadHandler> handler = self->client_->GetLoadHandler()) {
        handler->OnLoadingStateChange(self.get(), true, back, forward);
        handler->OnLoadStart(self.get(), self->GetMainFrame(), TT_EXPLICIT);
      }
    });
  });
  QObject::connect(page, &QWebEnginePage::loadFinished, page, [self](bool ok) { self->OnLoadFinished(ok); });
  QObject::connect(page, &QWebEnginePage::renderProcessTerminated, page,
                   [self](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                     if (status == QWebEnginePage::NormalTerminationStatus)
                       return;
                     self->is_loading_ = false;
                     TerminationStatus reported = TS_ABNORMAL_TERMINATION;
                     if (status == QWebEnginePage::CrashedTerminationStatus)
                       reported = TS_PROCESS_CRASHED;
                     else if (status == QWebEnginePage::KilledTerminationStatus)
                       reported = TS_PROCESS_WAS_KILLED;
                     self->Deliver([self, reported] {
                       if (CefRefPtr<CefRequestHandler> handler = self->client_->GetRequestHandler())
                         handler->OnRenderProcessTerminated(self.get(), reported);
                     });
                   });
  QObject::connect(page, &QWebEnginePage::windowCloseRequested, page, [self] { self->CloseBrowser(false); });
  QObject::connect(page, &QWebEnginePage::featurePermissionRequested, page,
                   [self, page](const QUrl& origin, QWebEnginePage::Feature feature) {
                     cef::RequestPermission(self, page, origin, feature);
                   });
  QObject::connect(page, &QWebEnginePage::fullScreenRequested, page,
                   [self](QWebEngineFullScreenRequest request) {
                     request.accept();
                     self->SetFullscreen(request.toggleOn());
                   });
  if (is_popup_) {
    QObject::connect(page, &QWebEnginePage::geometryChangeRequested, page, [self](const QRect& geometry) {
      if (self->own_window_ && geometry.isValid())
        self->own_window_->setGeometry(geometry);
    });
  }
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
  CefRefPtr<CefBrowserHostImpl> self = this;
  auto finish = [self, back, forward](int http_status) {
    if (CefRefPtr<CefLoadHandler> handler = self->client_->GetLoadHandler()) {
      handler->OnLoadEnd(self.get(), self->GetMainFrame(), http_status);
      handler->OnLoadingStateChange(self.get(), false, back, forward);
    }
  };
  if (ok) {
    has_document_ = true;
    Deliver([finish] { finish(200); });
    return;
  }

  // The engine names the error only on its own error page, so read it from
  // there; events that follow wait until the error has been delivered.
  const bool stopped = stop_requested_;
  stop_requested_ = false;
  const QString requested = page_->requestedUrl().toString();
  awaiting_error_ = true;
  page_->runJavaScript(QString::fromLatin1(kReadErrorCodeScript), QWebEngineScript::ApplicationWorld,
                       [self, stopped, requested, finish](const QVariant& result) {
                         const QString name = result.toString().trimmed();
                         int code = ERR_ABORTED;
                         QString text = QStringLiteral("ERR_ABORTED");
                         QString failed = requested;
                         if (!stopped && !name.isEmpty()) {
                           code = cef::NetErrorFromName(name);
                           text = name;
                           if (code == ERR_NONE)
                             code = ERR_FAILED;
                           if (self->page_ && !self->page_->url().isEmpty())
                             failed = self->page_->url().toString();
                         }
                         self->awaiting_error_ = false;
                         self->Deliver([self, code, text, failed, finish] {
                           if (CefRefPtr<CefLoadHandler> handler = self->client_->GetLoadHandler()) {
                             handler->OnLoadError(self.get(), self->GetMainFrame(), static_cast<cef_errorcode_t>(code),
                                                  CefString(text), CefString(failed));
                           }
                           finish(0);
                         });
                         std::vector<std::function<void()>> deferred;
                         deferred.swap(self->deferred_);
                         for (auto& callback : deferred)
                           self->Deliver(std::move(callback));
                       });
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
  CefRefPtr<CefBrowserHostImpl> self = this;
  Deliver([self, on] {
    if (CefRefPtr<CefDisplayHandler> handler = self->client_->GetDisplayHandler())
      handler->OnFullscreenModeChange(self.get(), on);
  });
}

void CefBrowserHostImpl::CloseBrowser(bool force_close) {
  if (close_started_.exchange(true))
    return;
  CefRefPtr<CefBrowserHostImpl> self = this;
  const bool posted = cef::Context::PostUiTask([self, force_close] {
    bool handled = false;
    if (CefRefPtr<CefLifeSpanHandler> handler = self->client_->GetLifeSpanHandler())
      handled = handler->DoClose(self.get());
    if (!handled)
      cef::Context::PostGuiTask([self, force_close] { self->CloseWindowNow(force_close); });
  });
  if (!posted)
    close_started_ = false;
}

void CefBrowserHostImpl::CloseWindowNow(bool force_close) {
  if (!view_)
    return;
  // A top-level window that accepted the close is gone for the user, as a
  // closed native window is; the browser goes with it even when the window
  // object itself lives on hidden.
  QWidget* window = view_->window();
  if (window->close() || force_close)
    DestroyNow();
}

void CefBrowserHostImpl::DestroyNow() {
  if (own_window_)
    delete own_window_.data();
  else if (view_)
    delete view_.data();
}

void CefBrowserHostImpl::OnViewDestroyed() {
  if (closed_)
    return;
  closed_ = true;
  window_handle_ = 0;
  // Events held back for a pending error go first; OnBeforeClose is last.
  awaiting_error_ = false;
  std::vector<std::function<void()>> deferred;
  deferred.swap(deferred_);
  for (auto& callback : deferred)
    Deliver(std::move(callback));
  CefRefPtr<CefBrowserHostImpl> self = this;
  Deliver([self] {
    if (CefRefPtr<CefLifeSpanHandler> handler = self->client_->GetLifeSpanHandler())
      handler->OnBeforeClose(self.get());
  });
  if (cef::Context* context = cef::Context::Get())
    context->UnregisterBrowser(id_);
}

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo,
                                   CefRefPtr<CefClient> client,
                                   const CefString& url,
                                   const CefBrowserSettings& settings,
                                   CefRefPtr<CefRequestContext> request_context) {
  if (!client || request_context || windowInfo.windowless_rendering_enabled)
    return false;
  const CefWindowInfo info = windowInfo;
  const CefBrowserSettings browser_settings = settings;
  const QString address = url.ToQString();
  const int id = cef::NextBrowserId();
  return cef::Context::PostGuiTask([info, client, address, browser_settings, id] {
    cef::RunAfterFirstFrames([info, client, address, browser_settings, id] {
      if (!cef::Context::Get())
        return;
      QWidget* parent = nullptr;
      if (info.parent_window) {
        parent = QWidget::find(static_cast<WId>(info.parent_window));
        // The parent went away before the request ran: no browser.
        if (!parent)
          return;
      }
      CefRefPtr<CefBrowserHostImpl> browser = new CefBrowserHostImpl(id, false, client);
      browser->CreateView(parent, CefRect(info.bounds.x, info.bounds.y, info.bounds.width, info.bounds.height),
                          browser_settings, address.isEmpty() ? QUrl() : ToUrl(address));
    });
  });
}
