#include "libcef/runtime/ui_thread.h"

namespace cef {

namespace {
thread_local bool t_on_ui_thread = false;
}

UiThread::UiThread() : thread_(&UiThread::Run, this) {}

UiThread::~UiThread() {
  StopAndJoin();
}

bool UiThread::Post(std::function<void()> task, int64_t delay_ms) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopped_)
      return false;
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(delay_ms > 0 ? delay_ms : 0);
    tasks_.emplace(Key(due, sequence_++), std::move(task));
  }
  wake_.notify_one();
  return true;
}

void UiThread::StopAndJoin() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
    thread_.join();
}

bool UiThread::CurrentlyOn() {
  return t_on_ui_thread;
}

size_t UiThread::PendingCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return tasks_.size();
}

void UiThread::Run() {
  t_on_ui_thread = true;
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    if (tasks_.empty() || tasks_.begin()->first.first > Clock::now()) {
      if (stopping_) {
        // Draining is over: nothing due is left. Dropped tasks are destroyed
        // outside the lock, since their captures may post on destruction.
        std::map<Key, std::function<void()>> dropped;
        dropped.swap(tasks_);
        stopped_ = true;
        guard.unlock();
        return;
      }
      if (tasks_.empty())
        wake_.wait(guard);
      else
        wake_.wait_until(guard, tasks_.begin()->first.first);
      continue;
    }
    std::function<void()> task = std::move(tasks_.begin()->second);
    tasks_.erase(tasks_.begin());
    guard.unlock();
    task();
    // The task's captures (browser references among them) are released here,
    // on this thread, before the lock is taken again.
    task = nullptr;
    guard.lock();
  }
}

}  // namespace cef
