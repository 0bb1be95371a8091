#include "pagequestion.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include "guithread.h"

namespace {

// How many questions are open over a view; it takes input again at none.
const char openQuestions[] = "vmpOpenQuestions";

void holdInput(QWidget *view, int change)
{
    if (!view)
        return;
    const int open = view->property(openQuestions).toInt() + change;
    view->setProperty(openQuestions, open);
    view->setEnabled(open <= 0);
}

} // namespace

QWidget *PageQuestion::windowOf(CefRefPtr<CefBrowser> browser)
{
    if (!browser)
        return nullptr;
    QWidget *view = QWidget::find(static_cast<WId>(browser->GetHost()->GetWindowHandle()));
    return view ? view->window() : nullptr;
}

void PageQuestion::ask(CefRefPtr<CefBrowser> browser, QDialog *box, std::function<void(bool answered)> answer)
{
    REQUIRE_GUI_THREAD();
    QWidget *view = browser ? QWidget::find(static_cast<WId>(browser->GetHost()->GetWindowHandle())) : nullptr;
    QWidget *window = view ? view->window() : nullptr;
    if (!window || !window->isVisible()) {
        delete box;
        answer(false);
        return;
    }
    new PageQuestion(window, view, box, std::move(answer));
}

PageQuestion::PageQuestion(QWidget *window, QWidget *view, QDialog *box, std::function<void(bool)> answer)
    : QObject(box)
    , window(window)
    , view(view)
    , box(box)
    , answer(std::move(answer))
{
    // A dialog of the window, so that it stays over it and goes with it, but
    // not modal in Qt's sense: Qt drops the window manager's close of a
    // window under a modal dialog. The page is kept from input instead.
    box->setParent(window, box->windowFlags() | Qt::Dialog);
    box->setWindowModality(Qt::NonModal);
    holdInput(view, 1);
    window->installEventFilter(this);
    connect(box, &QDialog::finished, this, [this] { finish(true); });
    box->show();
    // A box shown this way gives the keyboard to its first button, which
    // then takes Return for itself; Return must answer with the default,
    // which for a question of trust is the refusal.
    if (QMessageBox *message = qobject_cast<QMessageBox *>(box)) {
        if (QPushButton *byDefault = message->defaultButton())
            byDefault->setFocus();
    }
    box->raise();
    box->activateWindow();
}

PageQuestion::~PageQuestion()
{
    // Going with the box, which went with its window, unanswered.
    finish(false);
}

bool PageQuestion::eventFilter(QObject *watched, QEvent *event)
{
    // The window closes or hides for good: its questions close with it.
    if (watched == window && event->type() == QEvent::Hide && !event->spontaneous())
        finish(false);
    // The window made active, by the user or by the window manager when
    // another box closed, hands the keyboard on to the question, as Qt does
    // for a modal dialog.
    else if (watched == window && event->type() == QEvent::WindowActivate && box)
        box->activateWindow();
    return QObject::eventFilter(watched, event);
}

void PageQuestion::finish(bool answered)
{
    if (!answer)
        return;
    const std::function<void(bool)> done = std::move(answer);
    answer = nullptr;
    holdInput(view, -1);
    if (window)
        window->removeEventFilter(this);
    if (box) {
        box->hide();
        box->deleteLater();
    }
    done(answered);
}
