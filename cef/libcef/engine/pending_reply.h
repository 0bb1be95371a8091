// A reply that the Qt GUI thread waits for while a handler on the browser UI
// thread decides.
#ifndef CEF_LIBCEF_ENGINE_PENDING_REPLY_H_
#define CEF_LIBCEF_ENGINE_PENDING_REPLY_H_
#pragma once

#include <memory>
#include <mutex>
#include <utility>

#include <QEventLoop>

#include "libcef/runtime/context.h"

namespace cef {

///
/// Bridges the engine's synchronous questions (a download's target, a
/// JavaScript dialog) to the API's asynchronous callbacks. Wait() runs a
/// local event loop, so that the GUI thread goes on serving Qt's events, the
/// dialogs a handler shows among them, until Set() has been called or the
/// application quits. The engine's own tasks wait meanwhile, as they do
/// under its own dialogs: nothing that Set() depends on may need them. Held
/// through std::shared_ptr by the waiter and by the callbacks that answer.
///
template <typename T>
class PendingReply : public std::enable_shared_from_this<PendingReply<T>> {
 public:
  /// Any thread. The first value wins; returns false for every later one.
  bool Set(T value) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (set_)
        return false;
      set_ = true;
      value_ = std::move(value);
    }
    std::shared_ptr<PendingReply> self = this->shared_from_this();
    Context::PostGuiTask([self] {
      if (self->loop_)
        self->loop_->quit();
    });
    return true;
  }

  ///
  /// GUI thread. Returns the value once set, or false when the application
  /// quit first. Waits may nest; each returns once its own value is there
  /// and the waits inside it have returned.
  ///
  bool Wait(T* value) {
    Q_ASSERT(Context::CurrentlyOnGui());
    QEventLoop loop;
    bool waiting = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      waiting = !set_;
    }
    if (waiting) {
      loop_ = &loop;
      loop.exec();
      loop_ = nullptr;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!set_)
      return false;
    *value = value_;
    return true;
  }

 private:
  std::mutex lock_;
  bool set_ = false;
  T value_{};
  QEventLoop* loop_ = nullptr;  // GUI thread only
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_PENDING_REPLY_H_
