#include "libcef/runtime/first_frame_gate.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

// A window that never gets exposed, such as one shown minimized, must not
// keep browsers from being created.
constexpr int kMaxWaitMs = 2000;

FirstFrameGate* g_first_frame_gate = nullptr;  // GUI thread only

}  // namespace

void FirstFrameGate::RunAfterFirstFrames(std::function<void()> task) {
  CEF_REQUIRE_GUI_THREAD();
  if (!g_first_frame_gate)
    g_first_frame_gate = new FirstFrameGate();
  g_first_frame_gate->Run(std::move(task));
}

void FirstFrameGate::Reset() {
  CEF_REQUIRE_GUI_THREAD();
  delete g_first_frame_gate;
  g_first_frame_gate = nullptr;
}

void FirstFrameGate::Run(std::function<void()> task) {
  if (open_) {
    task();
    return;
  }
  pending_.push_back(std::move(task));
  Check();
}

bool FirstFrameGate::eventFilter(QObject* watched, QEvent* event) {
  // The window paints in answer to this event; look again once it has.
  if (event->type() == QEvent::Expose)
    QMetaObject::invokeMethod(this, [this] { Check(); }, Qt::QueuedConnection);
  return QObject::eventFilter(watched, event);
}

void FirstFrameGate::Check() {
  if (open_)
    return;
  bool waiting = false;
  for (QWindow* window : QGuiApplication::topLevelWindows()) {
    if (window->isVisible() && !window->isExposed()) {
      window->installEventFilter(this);
      watched_.push_back(window);
      waiting = true;
    }
  }
  if (!waiting) {
    Open();
    return;
  }
  if (!deadline_started_) {
    deadline_started_ = true;
    QTimer::singleShot(kMaxWaitMs, this, [this] { Open(); });
  }
}

void FirstFrameGate::Open() {
  if (open_)
    return;
  open_ = true;
  for (const QPointer<QWindow>& window : watched_) {
    if (window)
      window->removeEventFilter(this);
  }
  watched_.clear();
  std::vector<std::function<void()>> tasks;
  tasks.swap(pending_);
  for (auto& task : tasks)
    task();
}

}  // namespace cef
