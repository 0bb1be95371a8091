// The engine page of a browser, which turns the page's requests for new
// windows into popup browsers.
#ifndef CEF_LIBCEF_ENGINE_ENGINE_PAGE_H_
#define CEF_LIBCEF_ENGINE_ENGINE_PAGE_H_
#pragma once

#include <map>
#include <functional>
#include <vector>

#include <QPointer>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>

#include "include/cef_client.h"
#include "include/internal/cef_types.h"

namespace cef {

/// Lives on the Qt GUI thread.
class EnginePage : public QWebEnginePage {
  Q_OBJECT
 public:
  EnginePage(QWebEngineProfile* profile, CefRefPtr<CefClient> client, QObject* parent);
  ~EnginePage() override;

  /// While |view| shows the page in fullscreen, Escape pressed in it leaves
  /// fullscreen, as in Chrome; null once the page has left it.
  void SetFullscreenView(QWidget* view);

  ///
  /// The address of the last main-frame navigation the engine asked about,
  /// whoever started it: the application, the user or the page itself.
  /// Unlike requestedUrl(), which names the first address of the history
  /// entry shown, it follows the page's own navigations.
  ///
  QUrl LastNavigation() const { return last_navigation_; }

  ///
  /// Answers the certificate error numbered |serial|, if it still waits:
  /// |go_on| lets the request go on despite the certificate.
  ///
  void AnswerCertificateError(int serial, bool go_on);
  /// The page's view has gone: the page goes now, or, while the engine waits
  /// in one of the page's dialog calls, the dialog is cancelled and the page
  /// goes once that call has returned. Dialogs it raises meanwhile are
  /// cancelled at once.
  ///
  void Release();
  /// True once Release has been called.
  bool Released() const { return released_; }

  ///
  /// Brackets the wait for an answer to one of the page's dialogs; |cancel|
  /// ends that wait at once.
  ///
  void BeginDialog(std::function<void()> cancel);
  void EndDialog();

 signals:
  /// A message the page wrote to its console; it goes nowhere else.
  void consoleMessage(cef_log_severity_t level, const QString& message, const QString& source, int line);
  /// The main frame is about to send a request for a document.
  void mainFrameRequest(const QString& method, const QUrl& url);

 protected:
  QWebEnginePage* createWindow(WebWindowType type) override;
  // Dialogs go to the client's handlers first, and to the engine's own
  // dialogs when the client has none.
  void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
  bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
  bool javaScriptPrompt(const QUrl& securityOrigin,
                        const QString& msg,
                        const QString& defaultValue,
                        QString* result) override;
  QStringList chooseFiles(FileSelectionMode mode,
                          const QStringList& oldFiles,
                          const QStringList& acceptedMimeTypes) override;
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override;
  // Handed to the client's CefRequestHandler and deferred meanwhile, so
  // that the engine goes on while the client decides.
  bool certificateError(const QWebEngineCertificateError& error) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                const QString& message,
                                int line,
                                const QString& source) override;

 private:
  CefRefPtr<CefClient> client_;
  QPointer<QWidget> fullscreen_view_;
  QUrl last_navigation_;
  // Certificate errors waiting for the client's answer, by serial; refused
  // when the page goes.
  std::map<int, QWebEngineCertificateError> pending_certificate_errors_;
  int last_certificate_error_ = 0;
  bool released_ = false;
  std::vector<std::function<void()>> dialog_cancels_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_ENGINE_PAGE_H_
