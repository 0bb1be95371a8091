// Tasks made from closures.
#ifndef CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
#define CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
#pragma once

#include <functional>

#include "include/cef_task.h"

///
/// Wraps |closure| in a CefTask.
///
CefRefPtr<CefTask> CefCreateClosureTask(std::function<void()> closure);

///
/// Posts |closure| to |threadId|. Returns as CefPostTask.
///
bool CefPostTask(CefThreadId threadId, std::function<void()> closure);

///
/// Posts |closure| to run after |delay_ms| milliseconds.
///
bool CefPostDelayedTask(CefThreadId threadId, std::function<void()> closure, int64_t delay_ms);

#endif  // CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
