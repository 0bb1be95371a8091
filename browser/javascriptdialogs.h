#ifndef JAVASCRIPTDIALOGS_H
#define JAVASCRIPTDIALOGS_H

#include <map>
#include <mutex>

#include "include/cef_jsdialog_handler.h"

// Shows a page's alert(), confirm(), prompt() and the question before it is
// left (pagedialogs.h). From the second dialog of a page on, the user may
// stop them all: each later dialog of that page is then cancelled at once,
// until the page navigates.
//
// Threads: the methods run on the browser UI thread; the dialogs are shown
// on the GUI thread, which answers the engine's callbacks and records a stop.
class JavaScriptDialogs : public CefBaseRefCounted
{
public:
    // As CefJSDialogHandler's: false when the dialog was suppressed.
    bool onJSDialog(CefRefPtr<CefBrowser> browser, const CefString &originUrl, cef_jsdialog_type_t dialogType,
                    const CefString &messageText, const CefString &defaultPromptText,
                    CefRefPtr<CefJSDialogCallback> callback, bool &suppressMessage);
    void onBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, CefRefPtr<CefJSDialogCallback> callback);
    // The page of |browserId| has gone: a new page may ask again.
    void forget(int browserId);

private:
    // The dialogs each browser's page has raised since it navigated, and
    // whether the user stopped them.
    struct PageDialogs
    {
        int shown = 0;
        bool stopped = false;
    };
    std::map<int, PageDialogs> pages;
    std::mutex pagesLock;

    IMPLEMENT_REFCOUNTING(JavaScriptDialogs);
};

#endif // JAVASCRIPTDIALOGS_H
