#ifndef PAGEDIALOGS_H
#define PAGEDIALOGS_H

#include <functional>

#include <QString>

#include "include/cef_browser.h"
#include "include/internal/cef_types.h"

// The questions a page puts to the user, each a PageQuestion over the page's
// window, titled with the page's origin alone (scheme, host and port), never
// with the page's address, which may carry credentials. Each answers once,
// as refused or cancelled when the window goes first. GUI thread only.

// alert(), confirm() or prompt(). |answer| gets whether OK was chosen, a
// prompt's text, and whether the user asked that the page show no more
// dialogs, which the box offers when |offerStop| is set. The page's text is
// cut short when it is very long.
void showJavaScriptDialog(CefRefPtr<CefBrowser> browser, const QString &origin, cef_jsdialog_type_t type,
                          const QString &message, const QString &defaultText, bool offerStop,
                          std::function<void(bool ok, const QString &input, bool stop)> answer);

// The question before a page that asks for it is left. True to leave.
void askToLeavePage(CefRefPtr<CefBrowser> browser, const QString &origin, std::function<void(bool leave)> answer);

// Whether |origin| may use |devices| (a readable list such as "麦克风").
// Allowing is the default button; Escape refuses. |answered| is false when
// the window went first.
void askPermission(CefRefPtr<CefBrowser> browser, const QString &origin, const QString &devices,
                   std::function<void(bool answered, bool allowed)> answer);

#endif // PAGEDIALOGS_H
