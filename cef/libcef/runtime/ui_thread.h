// The browser UI thread: a thread of its own that runs posted tasks in order.
#ifndef CEF_LIBCEF_RUNTIME_UI_THREAD_H_
#define CEF_LIBCEF_RUNTIME_UI_THREAD_H_
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace cef {

///
/// A task queue served by one thread. Post may be called from any thread,
/// StopAndJoin from any thread but the queue's own.
///
class UiThread {
 public:
  UiThread();
  ~UiThread();
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;

  /// Queues |task| to run after |delay_ms|. Returns false once stopped.
  bool Post(std::function<void()> task, int64_t delay_ms = 0);

  ///
  /// Runs every task that is due, including those that the tasks themselves
  /// post, then ends the thread and joins it. Tasks whose delay has not run
  /// out are dropped.
  ///
  void StopAndJoin();

  /// True on the queue's own thread.
  static bool CurrentlyOn();

  /// Any thread: tasks queued and not run yet, delayed ones included.
  size_t PendingCount();

 private:
  using Clock = std::chrono::steady_clock;
  using Key = std::pair<Clock::time_point, uint64_t>;

  void Run();

  std::mutex lock_;
  std::condition_variable wake_;
  std::map<Key, std::function<void()>> tasks_;
  uint64_t sequence_ = 0;
  bool stopping_ = false;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_UI_THREAD_H_
