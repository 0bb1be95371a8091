// What a page asks of its user: JavaScript dialogs, files and permissions,
// handed to the client of the page's browser.
#ifndef CEF_LIBCEF_ENGINE_PAGE_REQUESTS_H_
#define CEF_LIBCEF_ENGINE_PAGE_REQUESTS_H_
#pragma once

#include <optional>

#include <QStringList>
#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>

#include "libcef/engine/browser_host_impl.h"

namespace cef {

enum class PageDialog { kAlert, kConfirm, kPrompt, kBeforeUnload };

/// The user's answer to a JavaScript dialog.
struct DialogReply {
  bool accepted = false;
  QString input;
};

///
/// GUI thread, from the page's own synchronous dialog call: asks the client's
/// CefJSDialogHandler and waits for its answer, serving events meanwhile.
/// Returns nothing when the client leaves the dialog to the engine (no
/// handler, or the handler declined).
///
std::optional<DialogReply> RunJavaScriptDialog(QWebEnginePage* page,
                                               PageDialog kind,
                                               const QUrl& origin,
                                               const QString& message,
                                               const QString& default_text = QString());

///
/// GUI thread, from the page's file chooser: asks the client's
/// CefDialogHandler as above. Returns false when the engine's own dialog is
/// to be shown; otherwise |files| holds the choice (empty when cancelled).
///
bool RunFileDialog(QWebEnginePage* page,
                   QWebEnginePage::FileSelectionMode mode,
                   const QStringList& old_files,
                   const QStringList& accepted_types,
                   QStringList* files);

///
/// GUI thread: hands a permission request of |page| to the CefPermissionHandler
/// of |browser|'s client; the answer reaches the page whenever it comes.
/// Unanswered or unhandled requests are refused.
///
void RequestPermission(CefRefPtr<CefBrowserHostImpl> browser,
                       QWebEnginePage* page,
                       const QUrl& origin,
                       QWebEnginePage::Feature feature);

///
/// GUI thread: hands certificate error |serial| of |page| to the
/// CefRequestHandler of |browser|'s client, whose answer reaches
/// EnginePage::AnswerCertificateError whenever it comes. Unanswered or
/// unhandled errors are refused.
///
void RequestCertificateDecision(CefRefPtr<CefBrowserHostImpl> browser,
                                EnginePage* page,
                                int serial,
                                const QWebEngineCertificateError& error);

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_PAGE_REQUESTS_H_
