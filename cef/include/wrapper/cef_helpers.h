// Thread checks for handler code.
#ifndef CEF_INCLUDE_WRAPPER_CEF_HELPERS_H_
#define CEF_INCLUDE_WRAPPER_CEF_HELPERS_H_
#pragma once

#include <cassert>

#include "include/cef_task.h"

#ifdef NDEBUG
#define CEF_REQUIRE_THREAD(id) ((void)0)
#else
#define CEF_REQUIRE_THREAD(id) assert(CefCurrentlyOn(id))
#endif

/// Asserts, in debug builds, that the caller runs on the browser UI thread.
#define CEF_REQUIRE_UI_THREAD() CEF_REQUIRE_THREAD(TID_UI)

#endif  // CEF_INCLUDE_WRAPPER_CEF_HELPERS_H_
