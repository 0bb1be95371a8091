// Holds the engine's heavy start (its profile and the first view) back until
// the windows the application has just shown have painted their first frame:
// started before, it would keep a login window blank for as long as it runs.
// Opens once and stays open. GUI thread only.
#ifndef CEF_LIBCEF_RUNTIME_FIRST_FRAME_GATE_H_
#define CEF_LIBCEF_RUNTIME_FIRST_FRAME_GATE_H_
#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QPointer>

class QWindow;

namespace cef {

class FirstFrameGate : public QObject {
 public:
  /// GUI thread: runs |task| once the windows just shown have painted their
  /// first frame, at once if they have.
  static void RunAfterFirstFrames(std::function<void()> task);
  /// GUI thread, in CefShutdown: requests still held back die with the
  /// runtime.
  static void Reset();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Run(std::function<void()> task);
  void Check();
  void Open();

  bool open_ = false;
  bool deadline_started_ = false;
  std::vector<std::function<void()>> pending_;
  std::vector<QPointer<QWindow>> watched_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_FIRST_FRAME_GATE_H_
