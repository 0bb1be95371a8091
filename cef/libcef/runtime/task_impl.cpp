// The task API: posting to the engine's threads, of which the layer has the
// browser UI thread.
#include "include/cef_task.h"
#include "include/wrapper/cef_closure_task.h"
#include "libcef/runtime/context.h"

namespace {

class ClosureTask : public CefTask {
 public:
  explicit ClosureTask(std::function<void()> closure) : closure_(std::move(closure)) {}
  void Execute() override {
    if (closure_)
      closure_();
  }

 private:
  std::function<void()> closure_;
  IMPLEMENT_REFCOUNTING(ClosureTask);
};

}  // namespace

bool CefCurrentlyOn(CefThreadId threadId) {
  return threadId == TID_UI && cef::Context::CurrentlyOnUi();
}

bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task) {
  return CefPostDelayedTask(threadId, task, 0);
}

bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64_t delay_ms) {
  if (threadId != TID_UI || !task)
    return false;
  return cef::Context::PostUiTask([task] { task->Execute(); }, delay_ms);
}

CefRefPtr<CefTask> CefCreateClosureTask(std::function<void()> closure) {
  return new ClosureTask(std::move(closure));
}

bool CefPostTask(CefThreadId threadId, std::function<void()> closure) {
  return CefPostTask(threadId, CefCreateClosureTask(std::move(closure)));
}

bool CefPostDelayedTask(CefThreadId threadId, std::function<void()> closure, int64_t delay_ms) {
  return CefPostDelayedTask(threadId, CefCreateClosureTask(std::move(closure)), delay_ms);
}
