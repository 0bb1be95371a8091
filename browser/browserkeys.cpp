#include "browserkeys.h"

#include <QCoreApplication>
#include <QVariant>
#include <QWidget>

#include "guithread.h"
#include "include/wrapper/cef_helpers.h"
#include "pagequestion.h"

namespace {

// Windows virtual key codes.
const int vkF5 = 0x74;
const int vkF11 = 0x7A;
const int vkAdd = 0x6B;
const int vkSubtract = 0x6D;
const int vkNumpad0 = 0x60;
const int vkOemPlus = 0xBB;
const int vkOemMinus = 0xBD;

// The window state before F11, kept on the window itself.
const char stateBeforeFullScreen[] = "vmpStateBeforeFullScreen";

// GUI thread.
void toggleFullScreen(CefRefPtr<CefBrowser> browser)
{
    QWidget *window = PageQuestion::windowOf(browser);
    if (!window)
        return;
    const QVariant before = window->property(stateBeforeFullScreen);
    if (!window->isFullScreen()) {
        window->setProperty(stateBeforeFullScreen, int(window->windowState()));
        window->showFullScreen();
    } else if (before.isValid()) {
        window->setProperty(stateBeforeFullScreen, QVariant());
        if (before.toInt() & Qt::WindowMaximized)
            window->showMaximized();
        else
            window->showNormal();
    } else {
        // The page's own full screen: F11 leaves it, as in a browser.
        browser->GetMainFrame()->ExecuteJavaScript("document.exitFullscreen()", "", 0);
    }
}

} // namespace

bool BrowserKeys::OnPreKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent &event, CefEventHandle,
                                bool *isKeyboardShortcut)
{
    CEF_REQUIRE_UI_THREAD();
    const uint32_t modifiers = event.modifiers & (EVENTFLAG_SHIFT_DOWN | EVENTFLAG_CONTROL_DOWN | EVENTFLAG_ALT_DOWN);
    if (event.type != KEYEVENT_RAWKEYDOWN || event.windows_key_code != vkF11 || modifiers)
        return false;
    (void)isKeyboardShortcut;
    if (!(event.modifiers & EVENTFLAG_IS_REPEAT))
        postToGuiThread([browser] { toggleFullScreen(browser); });
    return true;
}

bool BrowserKeys::OnKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent &event, CefEventHandle)
{
    CEF_REQUIRE_UI_THREAD();
    if (event.type != KEYEVENT_RAWKEYDOWN)
        return false;
    const uint32_t modifiers = event.modifiers & (EVENTFLAG_CONTROL_DOWN | EVENTFLAG_ALT_DOWN);
    const bool repeat = event.modifiers & EVENTFLAG_IS_REPEAT;
    const int key = event.windows_key_code;
    if ((key == vkF5 && !modifiers) || (key == 'R' && modifiers == EVENTFLAG_CONTROL_DOWN)) {
        if (repeat)
            return true;
        if (event.modifiers & EVENTFLAG_SHIFT_DOWN)
            browser->ReloadIgnoreCache();
        else
            browser->Reload();
        return true;
    }
    if (modifiers != EVENTFLAG_CONTROL_DOWN)
        return false;
    CefRefPtr<CefBrowserHost> host = browser->GetHost();
    if (key == vkOemPlus || key == vkAdd)
        host->Zoom(CEF_ZOOM_COMMAND_IN);
    else if (key == vkOemMinus || key == vkSubtract)
        host->Zoom(CEF_ZOOM_COMMAND_OUT);
    else if (key == '0' || key == vkNumpad0)
        host->SetZoomLevel(0.0);
    else
        return false;
    return true;
}
