#include "javascriptdialogs.h"

#include "guithread.h"
#include "pagedialogs.h"
#include "platformorigin.h"

bool JavaScriptDialogs::onJSDialog(CefRefPtr<CefBrowser> browser, const CefString &originUrl,
                                   cef_jsdialog_type_t dialogType, const CefString &messageText,
                                   const CefString &defaultPromptText, CefRefPtr<CefJSDialogCallback> callback,
                                   bool &suppressMessage)
{
    const int id = browser->GetIdentifier();
    bool offerStop = false;
    {
        std::lock_guard<std::mutex> guard(pagesLock);
        PageDialogs &dialogs = pages[id];
        if (dialogs.stopped) {
            // The user stopped this page's dialogs: each is cancelled at once.
            suppressMessage = true;
            return false;
        }
        offerStop = ++dialogs.shown > 1;
    }
    const QString origin = originUrl.ToQString();
    const QString message = messageText.ToQString();
    const QString defaultText = defaultPromptText.ToQString();
    CefRefPtr<JavaScriptDialogs> self = this;
    postToGuiThread([self, id, browser, origin, dialogType, message, defaultText, offerStop, callback] {
        showJavaScriptDialog(browser, origin, dialogType, message, defaultText, offerStop,
                             [self, id, callback](bool ok, const QString &input, bool stop) {
                                 if (stop) {
                                     std::lock_guard<std::mutex> guard(self->pagesLock);
                                     self->pages[id].stopped = true;
                                 }
                                 callback->Continue(ok, CefString(input));
                             });
    });
    return true;
}

void JavaScriptDialogs::onBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, CefRefPtr<CefJSDialogCallback> callback)
{
    const QString origin = PlatformOrigin::shown(QUrl(browser->GetMainFrame()->GetURL().ToQString()));
    postToGuiThread([browser, origin, callback] {
        askToLeavePage(browser, origin, [callback](bool leave) { callback->Continue(leave, CefString()); });
    });
}

void JavaScriptDialogs::forget(int browserId)
{
    std::lock_guard<std::mutex> guard(pagesLock);
    pages.erase(browserId);
}
