// Tasks and the threads of the browser process.
#ifndef CEF_INCLUDE_CEF_TASK_H_
#define CEF_INCLUDE_CEF_TASK_H_
#pragma once

#include <cstdint>

#include "include/cef_base.h"

///
/// A unit of work posted to a thread.
///
class CefTask : public virtual CefBaseRefCounted {
 public:
  /// Runs the task on the thread it was posted to.
  virtual void Execute() = 0;
};

///
/// Returns true when called on the given thread. Any thread.
///
bool CefCurrentlyOn(CefThreadId threadId);

///
/// Posts |task| to |threadId|; tasks run in the order they were posted.
/// Returns false when that thread is not running (before CefInitialize, after
/// CefShutdown, or a thread this engine does not run). Any thread.
///
bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task);

///
/// Posts |task| to run after |delay_ms| milliseconds. Returns as CefPostTask.
///
bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64_t delay_ms);

#endif  // CEF_INCLUDE_CEF_TASK_H_
