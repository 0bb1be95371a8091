// The layer's own threads, as CEF's thread_util.h names them: the Qt GUI
// thread, where every widget and engine object lives, and the browser UI
// thread (see ui_thread.h), which calls the client's handlers. A method that
// must run on the GUI thread begins with
//
//   if (!CEF_CURRENTLY_ON_GUIT()) {
//     CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::Reload, this));
//     return;
//   }
#ifndef CEF_LIBCEF_RUNTIME_THREAD_UTIL_H_
#define CEF_LIBCEF_RUNTIME_THREAD_UTIL_H_
#pragma once

#include <cassert>
#include <functional>

#include "include/internal/cef_ptr.h"
#include "libcef/runtime/context.h"

#define CEF_CURRENTLY_ON_GUIT() cef::Context::CurrentlyOnGui()

/// Any thread: queues a std::function<void()> on the GUI thread; false when
/// the runtime is not running.
#define CEF_POST_GUI_TASK(task) cef::Context::PostGuiTask(task)

/// Asserts, in debug builds, that the caller runs on the Qt GUI thread.
#ifdef NDEBUG
#define CEF_REQUIRE_GUI_THREAD() ((void)0)
#else
#define CEF_REQUIRE_GUI_THREAD() assert(CEF_CURRENTLY_ON_GUIT())
#endif

namespace cef {

///
/// Binds |method| of the reference-counted |object| to copies of |args|, for
/// posting to another thread. The task holds a reference, so the object lives
/// until the task has run or been dropped.
///
template <typename T, typename... Params, typename... Args>
std::function<void()> BindOnce(void (T::*method)(Params...), T* object, Args... args) {
  CefRefPtr<T> ref(object);
  return [ref, method, args...] { (ref.get()->*method)(args...); };
}

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_THREAD_UTIL_H_
