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
#include <utility>

#include <QPointer>

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
/// until the task has run or been dropped. Arguments that |args| leaves
/// unbound are passed on by the caller, as the engine's callbacks pass their
/// results.
///
template <typename R, typename T, typename... Params, typename... Args>
auto BindOnce(R (T::*method)(Params...), T* object, Args... args) {
  CefRefPtr<T> ref(object);
  return [ref, method, args...](auto&&... rest) -> R {
    return (ref.get()->*method)(args..., std::forward<decltype(rest)>(rest)...);
  };
}

///
/// Binds |method| of the QObject that |object| guards, as above, but holds no
/// reference: the call is dropped when the object has been deleted by the
/// time it runs. The guard is read where the task runs, which must be the
/// object's own thread, the Qt GUI thread; it may be bound and posted on any
/// thread.
///
template <typename T, typename... Params, typename... Args>
auto BindOnce(void (T::*method)(Params...), const QPointer<T>& object, Args... args) {
  return [object, method, args...](auto&&... rest) {
    if (object)
      (object.data()->*method)(args..., std::forward<decltype(rest)>(rest)...);
  };
}

/// The same binding as BindOnce, for a callback that may run more than once.
template <typename... Args>
auto BindRepeating(Args&&... args) {
  return BindOnce(std::forward<Args>(args)...);
}

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_THREAD_UTIL_H_
