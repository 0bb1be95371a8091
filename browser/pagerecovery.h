#ifndef PAGERECOVERY_H
#define PAGERECOVERY_H

#include <chrono>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "include/cef_browser.h"
#include "reconnector.h"

// Keeps a window from staying blank or broken. A failed frame shows an error
// page instead; while the platform is down, its page comes back on its own
// once the platform answers again (Reconnector). A page whose render process
// died is loaded again; a page that keeps crashing is left alone. Each
// browser has its own budget, so that a popup that keeps crashing cannot use
// up the main page's.
//
// Threads: browser UI thread only. |mainFrame| tells whether the event is of
// the main frame of the main browser, the only one that reconnects.
class PageRecovery
{
public:
    // |reconnector| brings the main browser's page back.
    explicit PageRecovery(Reconnector reconnector);

    void onRequest(bool mainFrame, const std::string &method);
    void onLoadStart(int browserId, bool mainFrame);
    void onLoadEnd(bool mainFrame, int httpStatusCode);
    void onLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, bool mainFrame, int errorCode,
                     const CefString &errorText, const CefString &failedUrl);
    void onRenderProcessTerminated(CefRefPtr<CefBrowser> browser, bool mainBrowser);
    // The browser |browserId| has closed; |mainBrowser| ends all retrying.
    void forget(int browserId, bool mainBrowser);

    // The error page shown for a failed load, as UTF-8. The address and the
    // error text are escaped for HTML, and the password in the address is
    // shown as asterisks: the page may be on a screen that others see. A
    // long address is cut short.
    static std::string errorPage(const CefString &failedUrl, const CefString &errorText, int errorCode);

private:
    Reconnector reconnector;
    // Recent recoveries of each open browser, by identifier.
    std::map<int, std::deque<std::chrono::steady_clock::time_point>> recoveries;
    // Browsers whose error page has been asked for and has not started.
    std::set<int> errorPagesLoading;
};

#endif // PAGERECOVERY_H
