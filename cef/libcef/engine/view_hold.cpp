#include "libcef/engine/view_hold.h"

#include <memory>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWidget>

#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

// Long enough for a page of a server nearby; a slower one is shown as it
// comes in.
constexpr int kMaxHoldMs = 300;
const char kHeldProperty[] = "cefHeldDuringFirstLoad";

}  // namespace

void HoldViewDuringFirstLoad(QWidget* view, QWebEnginePage* page) {
  CEF_REQUIRE_GUI_THREAD();
  if (!view || !page || view->isVisible() || view->property(kHeldProperty).isValid())
    return;
  view->setProperty(kHeldProperty, true);
  view->hide();
  QPointer<QWidget> guarded(view);
  auto finished = std::make_shared<QMetaObject::Connection>();
  const auto reveal = [guarded, finished] {
    QObject::disconnect(*finished);
    // Shown once, unless something else has shown it meanwhile.
    if (guarded && guarded->property(kHeldProperty).toBool()) {
      guarded->setProperty(kHeldProperty, false);
      guarded->show();
      // The window became active while its one focusable child was off the
      // screen, so nothing took the keyboard then; the view takes it now.
      QWidget* focus = QApplication::focusWidget();
      if (guarded->isActiveWindow() && (!focus || focus == guarded->window() || guarded->isAncestorOf(focus)))
        guarded->setFocus(Qt::ActiveWindowFocusReason);
    }
  };
  *finished = QObject::connect(page, &QWebEnginePage::loadFinished, view, reveal);
  QTimer::singleShot(kMaxHoldMs, view, reveal);
}

}  // namespace cef
