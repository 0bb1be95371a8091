#include "libcef/engine/keyboard_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWebEngineView>
#include <QWheelEvent>

#include "include/internal/cef_types.h"
#include "libcef/engine/browser_host_impl.h"
#include "libcef/engine/browser_info_manager.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

// Windows virtual key codes of the keys that have no ASCII code of their own.
int WindowsKeyCode(int key, bool keypad) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || key == Qt::Key_Space)
    return key;
  if (key >= Qt::Key_0 && key <= Qt::Key_9)
    return keypad ? 0x60 + (key - Qt::Key_0) : key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
    return 0x70 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      return keypad ? 0x6B : 0xBB;  // VK_ADD, VK_OEM_PLUS
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      return keypad ? 0x6D : 0xBD;  // VK_SUBTRACT, VK_OEM_MINUS
    case Qt::Key_Asterisk: return 0x6A;
    case Qt::Key_Slash: return keypad ? 0x6F : 0xBF;
    case Qt::Key_Comma: return 0xBC;
    case Qt::Key_Period: return keypad ? 0x6E : 0xBE;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: return 0;
  }
}

// The browser whose view holds |widget|, or null.
CefRefPtr<CefBrowserHostImpl> BrowserAround(QWidget* widget) {
  for (QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
    if (QWebEngineView* view = qobject_cast<QWebEngineView*>(w))
      return BrowserInfoManager::GetInstance()->GetBrowserForPage(view->page());
  }
  return nullptr;
}

// The browser whose view is a child of |widget|, or null.
CefRefPtr<CefBrowserHostImpl> BrowserWithin(QWidget* widget) {
  for (QObject* child : widget->children()) {
    if (QWebEngineView* view = qobject_cast<QWebEngineView*>(child)) {
      if (CefRefPtr<CefBrowserHostImpl> browser = BrowserInfoManager::GetInstance()->GetBrowserForPage(view->page()))
        return browser;
    }
  }
  return nullptr;
}

// The engine's view of a Qt key press.
cef_key_event_t ToKeyEvent(const QKeyEvent& key) {
  cef_key_event_t event{};
  event.size = sizeof(event);
  event.type = KEYEVENT_RAWKEYDOWN;
  const Qt::KeyboardModifiers modifiers = key.modifiers();
  const bool keypad = modifiers & Qt::KeypadModifier;
  if (modifiers & Qt::ShiftModifier)
    event.modifiers |= EVENTFLAG_SHIFT_DOWN;
  if (modifiers & Qt::ControlModifier)
    event.modifiers |= EVENTFLAG_CONTROL_DOWN;
  if (modifiers & Qt::AltModifier)
    event.modifiers |= EVENTFLAG_ALT_DOWN;
  if (modifiers & Qt::MetaModifier)
    event.modifiers |= EVENTFLAG_COMMAND_DOWN;
  if (keypad)
    event.modifiers |= EVENTFLAG_IS_KEY_PAD;
  if (key.isAutoRepeat())
    event.modifiers |= EVENTFLAG_IS_REPEAT;
  event.windows_key_code = WindowsKeyCode(key.key(), keypad);
  event.native_key_code = static_cast<int>(key.nativeScanCode());
  const QString text = key.text();
  if (text.size() == 1)
    event.character = event.unmodified_character = text.at(0).unicode();
  return event;
}

}  // namespace

void KeyboardFilter::Install() {
  CEF_REQUIRE_GUI_THREAD();
  static KeyboardFilter* filter = nullptr;
  if (filter || !qApp)
    return;
  filter = new KeyboardFilter(qApp);
  qApp->installEventFilter(filter);
}

bool KeyboardFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::KeyPress && type != QEvent::Wheel) || !watched->isWidgetType() || !Context::Get())
    return false;
  QWidget* widget = static_cast<QWidget*>(watched);
  if (type == QEvent::Wheel) {
    QWheelEvent* wheel = static_cast<QWheelEvent*>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
      return false;
    CefRefPtr<CefBrowserHostImpl> browser = BrowserAround(widget);
    if (!browser)
      return false;
    wheel_delta_ += wheel->angleDelta().y();
    for (; wheel_delta_ >= 120; wheel_delta_ -= 120)
      browser->Zoom(CEF_ZOOM_COMMAND_IN);
    for (; wheel_delta_ <= -120; wheel_delta_ += 120)
      browser->Zoom(CEF_ZOOM_COMMAND_OUT);
    wheel->accept();
    return true;
  }

  const cef_key_event_t key = ToKeyEvent(*static_cast<QKeyEvent*>(event));
  if (CefRefPtr<CefBrowserHostImpl> browser = BrowserAround(widget)) {
    // On its way to the page.
    if (!browser->PreKeyEventNow(key))
      return false;
    event->accept();
    return true;
  }
  CefRefPtr<CefBrowserHostImpl> browser = BrowserWithin(widget);
  if (!browser)
    return false;
  // The engine hands an unhandled key back as an event of its own; a key
  // from the user comes here when nothing in the view has the focus, and has
  // not been before OnPreKeyEvent yet.
  if (event->spontaneous() && browser->PreKeyEventNow(key)) {
    event->accept();
    return true;
  }
  browser->KeyEventLater(key);
  return false;
}

}  // namespace cef
