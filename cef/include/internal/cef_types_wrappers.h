// C++ wrappers of the plain engine types: they set |size|, own their strings
// and free them when destroyed.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
#pragma once

#include <cstring>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types.h"

namespace cef_internal {
void CopyString(const cef_string_t& src, cef_string_t* dst);
}

///
/// Application settings: every field zero or empty and |size| set. String
/// fields are set through an attached CefString, for example
/// `CefString(&settings.cache_path) = ".cache";`, and freed by the destructor
/// or by cef_string_clear.
///
class CefSettings : public cef_settings_t {
 public:
  CefSettings() {
    std::memset(static_cast<cef_settings_t*>(this), 0, sizeof(cef_settings_t));
    size = sizeof(cef_settings_t);
  }
  CefSettings(const CefSettings& r) : CefSettings() { *this = r; }
  CefSettings& operator=(const CefSettings& r);
  ~CefSettings() { Clear(); }

 private:
  void Clear();
};

///
/// Browser settings, all at their defaults unless set.
///
class CefBrowserSettings : public cef_browser_settings_t {
 public:
  CefBrowserSettings() {
    std::memset(static_cast<cef_browser_settings_t*>(this), 0, sizeof(cef_browser_settings_t));
    size = sizeof(cef_browser_settings_t);
  }
  CefBrowserSettings(const CefBrowserSettings& r) : CefBrowserSettings() { *this = r; }
  CefBrowserSettings& operator=(const CefBrowserSettings& r);
  ~CefBrowserSettings() { Clear(); }

 private:
  void Clear();
};

class CefRect : public cef_rect_t {
 public:
  CefRect() : cef_rect_t{0, 0, 0, 0} {}
  CefRect(int x, int y, int width, int height) : cef_rect_t{x, y, width, height} {}
  bool IsEmpty() const { return width <= 0 || height <= 0; }
};

///
/// Where and how the browser window is created.
///
class CefWindowInfo : public cef_window_info_t {
 public:
  CefWindowInfo() {
    std::memset(static_cast<cef_window_info_t*>(this), 0, sizeof(cef_window_info_t));
  }
  CefWindowInfo(const CefWindowInfo& r) : CefWindowInfo() { *this = r; }
  CefWindowInfo& operator=(const CefWindowInfo& r);
  ~CefWindowInfo() { cef_string_clear(&window_name); }

  ///
  /// Creates the browser as a child window of |parent| at |windowBounds|,
  /// relative to the parent.
  ///
  void SetAsChild(CefWindowHandle parent, const CefRect& windowBounds) {
    parent_window = parent;
    bounds = windowBounds;
    windowless_rendering_enabled = false;
  }
};

///
/// Arguments of the process entry.
///
class CefMainArgs : public cef_main_args_t {
 public:
  CefMainArgs() : cef_main_args_t{0, nullptr} {}
  CefMainArgs(int argc_arg, char** argv_arg) : cef_main_args_t{argc_arg, argv_arg} {}
};

typedef cef_thread_id_t CefThreadId;
typedef cef_transition_type_t TransitionType;
typedef cef_key_event_t CefKeyEvent;
typedef cef_event_handle_t CefEventHandle;

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
