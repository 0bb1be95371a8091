#include "libcef/engine/browser_window.h"

#include <QCloseEvent>
#include <QResizeEvent>

namespace cef {

BrowserWindow::BrowserWindow(QWidget* owner, std::function<bool()> close_requested)
    : QWidget(owner, Qt::Window), close_requested_(std::move(close_requested)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(800, 600);
  if (owner)
    owner->installEventFilter(this);
}

void BrowserWindow::SetContent(QWidget* content) {
  content_ = content;
  if (content_)
    content_->setGeometry(rect());
}

void BrowserWindow::resizeEvent(QResizeEvent* event) {
  if (content_)
    content_->setGeometry(QRect(QPoint(0, 0), event->size()));
}

void BrowserWindow::closeEvent(QCloseEvent* event) {
  if (!close_requested_ || close_requested_())
    event->accept();
  else
    event->ignore();
}

}  // namespace cef

namespace cef {

void BrowserWindow::changeEvent(QEvent* event) {
  // The page has the keyboard whenever its window is active, also when the
  // window comes back from a dialog or another window.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && content_)
    content_->setFocus(Qt::ActiveWindowFocusReason);
  QWidget::changeEvent(event);
}

bool BrowserWindow::eventFilter(QObject* watched, QEvent* event) {
  // Qt decides whether to quit right after hiding the window that closes,
  // and any window still visible then, the engine's own hidden helper
  // windows of an open popup included, keeps the application running for
  // good. So an owned window hides at once with its owner. A spontaneous
  // hide is the owner being minimized, which leaves it alone.
  if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous())
    hide();
  return QWidget::eventFilter(watched, event);
}

}  // namespace cef
