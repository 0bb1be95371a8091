#ifndef PAGEQUESTION_H
#define PAGEQUESTION_H

#include <functional>

#include <QObject>
#include <QPointer>

#include "include/cef_browser.h"

class QDialog;
class QWidget;

// A question put to the user over a browser's window that never holds the
// GUI thread: no nested event loop, so every other window's page goes on.
// The box stays over the window, and the page in the window takes no input
// while any question is open over it, and activating the window activates
// the question (window-modal in effect); the window itself can still be
// closed. Each question is answered exactly once: with
// the user's choice, or refused when its window closes or goes, or when the
// window is gone already. Dialogs that a page raises, permission questions
// and any later question about a page go through here. GUI thread only.
//
//     QMessageBox *box = new QMessageBox;  // texts, buttons, defaults
//     QPushButton *yes = box->addButton(...);
//     PageQuestion::ask(browser, box, [box, yes, callback](bool answered) {
//         callback->Continue(answered && box->clickedButton() == yes);
//     });
class PageQuestion : public QObject
{
    Q_OBJECT

public:
    // Shows |box|, which it takes, over |browser|'s window. |answer| runs
    // once: with true when the user finished the box (which may be read then,
    // and only then), with false when the question was refused by its window
    // closing or going. The box is deleted afterwards.
    static void ask(CefRefPtr<CefBrowser> browser, QDialog *box, std::function<void(bool answered)> answer);

    // The top-level window that shows |browser|, or null once it has gone.
    static QWidget *windowOf(CefRefPtr<CefBrowser> browser);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PageQuestion(QWidget *window, QWidget *view, QDialog *box, std::function<void(bool)> answer);
    ~PageQuestion() override;
    void finish(bool answered);

    QPointer<QWidget> window;
    QPointer<QWidget> view;
    QPointer<QDialog> box;
    std::function<void(bool)> answer;
};

#endif // PAGEQUESTION_H
