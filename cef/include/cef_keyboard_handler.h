// Callbacks about keyboard input to a browser.
#ifndef CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
#define CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

///
/// Keyboard callbacks, on the browser UI thread. Only key presses are
/// reported (KEYEVENT_RAWKEYDOWN). Defaults handle nothing.
///
class CefKeyboardHandler : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called before a key press is sent to the page; the Qt GUI thread waits
  /// for the answer (at most a second, after which the key goes to the page).
  /// Return true when the key was handled: the page never sees it. A key that
  /// OnKeyEvent will handle as a shortcut once the page has let it pass
  /// should set |is_keyboard_shortcut| and return false. |os_event| is null.
  ///
  virtual bool OnPreKeyEvent(CefRefPtr<CefBrowser> browser,
                             const CefKeyEvent& event,
                             CefEventHandle os_event,
                             bool* is_keyboard_shortcut) {
    (void)browser;
    (void)event;
    (void)os_event;
    (void)is_keyboard_shortcut;
    return false;
  }

  ///
  /// Called after the page had the key press and did not handle it (a key
  /// whose keydown the page cancelled is never reported), and for keys that
  /// reach the browser's window while nothing in the page has the focus.
  /// Return true when the key was handled. |os_event| is null.
  ///
  virtual bool OnKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event) {
    (void)browser;
    (void)event;
    (void)os_event;
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
