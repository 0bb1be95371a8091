#include "libcef/engine/engine_page.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWebEngineUrlRequestInterceptor>
#include <QWidget>

#include "libcef/engine/browser_host_impl.h"
#include "libcef/engine/browser_info_manager.h"
#include "libcef/engine/page_requests.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/stats.h"

namespace cef {

namespace {

// Tells the page of each request its main frame makes: only the request
// knows its method.
class MainFrameRequests : public QWebEngineUrlRequestInterceptor {
 public:
  explicit MainFrameRequests(EnginePage* page) : QWebEngineUrlRequestInterceptor(page), page_(page) {}
  // Qt WebEngine 5.15 asks a page's interceptor on the GUI thread.
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    Q_ASSERT(Context::CurrentlyOnGui());
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
      emit page_->mainFrameRequest(QString::fromLatin1(info.requestMethod()), info.requestUrl());
  }

 private:
  EnginePage* const page_;
};

}  // namespace

EnginePage::EnginePage(QWebEngineProfile* profile, CefRefPtr<CefClient> client, QObject* parent)
    : QWebEnginePage(profile, parent), client_(client) {
  stats::Add(stats::kPages, 1);
  setUrlRequestInterceptor(new MainFrameRequests(this));
}

EnginePage::~EnginePage() {
  for (auto& pending : pending_certificate_errors_)
    pending.second.rejectCertificate();
  stats::Add(stats::kPages, -1);
}

void EnginePage::Release() {
  if (released_)
    return;
  released_ = true;
  if (dialog_cancels_.empty()) {
    delete this;
    return;
  }
  for (const auto& cancel : dialog_cancels_)
    cancel();
}

void EnginePage::BeginDialog(std::function<void()> cancel) {
  dialog_cancels_.push_back(std::move(cancel));
}

void EnginePage::EndDialog() {
  dialog_cancels_.pop_back();
  // The engine is still inside the page's call; the page goes after it.
  if (released_ && dialog_cancels_.empty())
    deleteLater();
}

void EnginePage::SetFullscreenView(QWidget* view) {
  // Keys go to whichever widget of the view has the focus, and the engine
  // replaces that widget at times; watching the application catches them
  // all. Only for as long as the page is in fullscreen.
  if (view && !fullscreen_view_)
    qApp->installEventFilter(this);
  else if (!view && fullscreen_view_)
    qApp->removeEventFilter(this);
  fullscreen_view_ = view;
}

bool EnginePage::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !fullscreen_view_)
    return QWebEnginePage::eventFilter(watched, event);
  QWidget* target = qobject_cast<QWidget*>(watched);
  QKeyEvent* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Escape || !target ||
      (target != fullscreen_view_ && !fullscreen_view_->isAncestorOf(target)))
    return QWebEnginePage::eventFilter(watched, event);
  // Claimed before any shortcut can take it; the press itself leaves
  // fullscreen and does not reach the page.
  event->accept();
  if (type == QEvent::KeyPress)
    triggerAction(QWebEnginePage::ExitFullScreen);
  return true;
}

QWebEnginePage* EnginePage::createWindow(WebWindowType type) {
  (void)type;
  Context* context = Context::Get();
  if (!context)
    return nullptr;
  // A page's window.open gets a popup browser in a window of its own, with
  // the opener's client, owned by the opener's window.
  CefRefPtr<CefBrowserHostImpl> popup = new CefBrowserHostImpl(NextBrowserId(), true, client_);
  QWidget* opener = view() ? view()->window() : nullptr;
  return popup->CreateView(nullptr, CefRect(), CefBrowserSettings(), QUrl(), opener);
}

bool EnginePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) {
  if (is_main_frame)
    last_navigation_ = url;
  return QWebEnginePage::acceptNavigationRequest(url, type, is_main_frame);
}

bool EnginePage::certificateError(const QWebEngineCertificateError& error) {
  CefRefPtr<CefBrowserHostImpl> browser = BrowserInfoManager::GetInstance()->GetBrowserForPage(this);
  if (!browser || !error.isOverridable())
    return false;
  // Copies share the engine's one error; deferred, the engine waits for
  // AnswerCertificateError and ignores what this returns.
  QWebEngineCertificateError pending = error;
  pending.defer();
  const int serial = ++last_certificate_error_;
  pending_certificate_errors_.emplace(serial, pending);
  RequestCertificateDecision(browser, this, serial, error);
  return false;
}

void EnginePage::AnswerCertificateError(int serial, bool go_on) {
  const auto it = pending_certificate_errors_.find(serial);
  if (it == pending_certificate_errors_.end())
    return;
  QWebEngineCertificateError error = it->second;
  pending_certificate_errors_.erase(it);
  if (go_on)
    error.ignoreCertificateError();
  else
    error.rejectCertificate();
}

void EnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString& message,
                                          int line,
                                          const QString& source) {
  cef_log_severity_t severity = LOGSEVERITY_INFO;
  if (level == WarningMessageLevel)
    severity = LOGSEVERITY_WARNING;
  else if (level == ErrorMessageLevel)
    severity = LOGSEVERITY_ERROR;
  emit consoleMessage(severity, message, source, line);
}

void EnginePage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg) {
  if (!RunJavaScriptDialog(this, PageDialog::kAlert, securityOrigin, msg))
    QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool EnginePage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) {
  // The engine asks before a page is left through this same call, with a
  // text of its own.
  const bool leaving = msg == QCoreApplication::translate(
                                  "QWebEnginePage",
                                  "Are you sure you want to leave this page? Changes that you made may not be saved.");
  if (const auto reply =
          RunJavaScriptDialog(this, leaving ? PageDialog::kBeforeUnload : PageDialog::kConfirm, securityOrigin, msg))
    return reply->accepted;
  return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool EnginePage::javaScriptPrompt(const QUrl& securityOrigin,
                                  const QString& msg,
                                  const QString& defaultValue,
                                  QString* result) {
  const auto reply = RunJavaScriptDialog(this, PageDialog::kPrompt, securityOrigin, msg, defaultValue);
  if (!reply)
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
  if (reply->accepted && result)
    *result = reply->input;
  return reply->accepted;
}

QStringList EnginePage::chooseFiles(FileSelectionMode mode,
                                    const QStringList& oldFiles,
                                    const QStringList& acceptedMimeTypes) {
  QStringList files;
  if (RunFileDialog(this, mode, oldFiles, acceptedMimeTypes, &files))
    return files;
  return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
}

}  // namespace cef
