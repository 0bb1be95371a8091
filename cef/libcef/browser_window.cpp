#include "libcef/browser_window.h"

#include <QCloseEvent>
#include <QResizeEvent>

namespace cef {

BrowserWindow::BrowserWindow(std::function<bool()> close_requested)
    : QWidget(nullptr), close_requested_(std::move(close_requested)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(800, 600);
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
