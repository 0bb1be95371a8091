#ifndef BROWSERKEYS_H
#define BROWSERKEYS_H

#include "include/cef_keyboard_handler.h"

// The keys of a browser window, as in any browser: F5 and Ctrl+R reload
// (with Shift, past the cache), F11 puts the window into full screen and back
// to the state it had before, Ctrl with plus, equals, minus or 0 zooms in,
// out and back to 100%. A key whose keydown the page cancelled stays the
// page's, except F11, which always belongs to the window. Auto-repeat
// reloads nothing and toggles nothing.
//
// Threads: the callbacks run on the browser UI thread; the window changes
// are handed to the Qt GUI thread.
class BrowserKeys : public CefKeyboardHandler
{
public:
    // CefKeyboardHandler methods.
    bool OnPreKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent &event, CefEventHandle osEvent,
                       bool *isKeyboardShortcut) override;
    bool OnKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent &event, CefEventHandle osEvent) override;

private:
    IMPLEMENT_REFCOUNTING(BrowserKeys);
};

#endif // BROWSERKEYS_H
