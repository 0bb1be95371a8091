// Keyboard and Ctrl+wheel input to the browsers, turned into the keyboard
// handler's callbacks and into zoom.
#ifndef CEF_LIBCEF_ENGINE_KEYBOARD_FILTER_H_
#define CEF_LIBCEF_ENGINE_KEYBOARD_FILTER_H_
#pragma once

#include <QObject>

namespace cef {

///
/// Watches the application's input on the Qt GUI thread. A key pressed in a
/// browser's view goes to CefKeyboardHandler::OnPreKeyEvent before the page
/// sees it. A key the page did not handle comes back to the view's parent
/// widget (that is how Qt WebEngine hands back unhandled keys), and so does a
/// key pressed while nothing in the view has the focus: it goes to
/// OnKeyEvent. Ctrl with the mouse wheel zooms the browser under the mouse by
/// one preset step for each notch, as Chromium does.
///
class KeyboardFilter : public QObject {
 public:
  /// GUI thread: watches from now on; once for the application.
  static void Install();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QObject::QObject;
  int wheel_delta_ = 0;  // what is left of a notch, for fine-grained wheels
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_KEYBOARD_FILTER_H_
