#ifndef PAGEDIALOGS_H
#define PAGEDIALOGS_H

#include <QString>

#include "include/cef_browser.h"
#include "include/internal/cef_types.h"

class QWidget;

// The questions a page puts to the user, each modal to the page's window and
// titled with the page's origin alone (scheme, host and port), never with
// the page's address, which may carry credentials. GUI thread only.

// The top-level window that shows |browser|, or null once it has gone.
QWidget *browserWindow(CefRefPtr<CefBrowser> browser);

// alert(), confirm() or prompt(). Returns true for OK; |input| receives a
// prompt's text.
bool showJavaScriptDialog(QWidget *parent, const QString &origin, cef_jsdialog_type_t type,
                          const QString &message, const QString &defaultText, QString *input);

// The question before a page that asks for it is left. True to leave.
bool askToLeavePage(QWidget *parent, const QString &origin);

// Whether |origin| may use |devices| (a readable list such as "麦克风").
// Allowing is the default button; Escape refuses.
bool askPermission(QWidget *parent, const QString &origin, const QString &devices);

#endif // PAGEDIALOGS_H
