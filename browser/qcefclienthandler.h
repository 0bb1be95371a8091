#ifndef QCEFCLIENTHANDLER_H
#define QCEFCLIENTHANDLER_H

#include <atomic>
#include <chrono>
#include <deque>
#include <list>
#include <map>
#include <mutex>

#include <QString>

#include "include/cef_client.h"

class QEvent;

// The engine client of the web view's browser: holds the main browser and its
// popups, notes when the main browser is asked to close, reports creation and
// titles to its listener and replaces a failed frame with an error page.
//
// Threads: the constructor, SetListener, GetBrowser and IsClosing run on the Qt
// GUI thread; every engine callback below runs on the browser UI thread, and so
// do the listener calls made from them.
class QCefClientHandler : public CefClient,
                          public CefDisplayHandler,
                          public CefLifeSpanHandler,
                          public CefLoadHandler,
                          public CefRequestHandler
{
public:
    // Receiver of the handler's reports, called on the browser UI thread.
    class Listener
    {
    public:
        virtual ~Listener() {}
        virtual void OnAddressChange(const QString &url) = 0;
        virtual void OnLoadingStateChange(bool isLoading) = 0;
        virtual void OnNavStateChange(bool canGoBack, bool canGoForward) = 0;
        virtual void OnAfterCreated() = 0;
        virtual void PostEvent(QEvent *event) = 0;
        virtual void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) = 0;
    };

    QCefClientHandler();

    // Sets the receiver of reports; null switches them off. When it returns,
    // no report reaches the previous listener any more: a report running at
    // that moment is waited for. Must not be called from inside a report.
    void SetListener(Listener *listener);

    // A new reference to the main browser, or null before it exists and after
    // it has closed.
    CefRefPtr<CefBrowser> GetBrowser();

    // True once the engine has asked to close the main browser.
    bool IsClosing();

    // CefClient methods.
    CefRefPtr<CefDisplayHandler> GetDisplayHandler() override;
    CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override;
    CefRefPtr<CefLoadHandler> GetLoadHandler() override;
    CefRefPtr<CefRequestHandler> GetRequestHandler() override;

    // CefDisplayHandler methods.
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override;

    // CefLifeSpanHandler methods.
    void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
    bool DoClose(CefRefPtr<CefBrowser> browser) override;
    void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

    // CefLoadHandler methods.
    void OnLoadError(CefRefPtr<CefBrowser> browser,
                     CefRefPtr<CefFrame> frame,
                     ErrorCode errorCode,
                     const CefString &errorText,
                     const CefString &failedUrl) override;

    // CefRequestHandler methods.
    // A page whose render process died is loaded again, so that the window
    // never stays blank; a page that keeps crashing is left alone. Each
    // browser has its own budget, so that a popup that keeps crashing cannot
    // use up the main page's.
    void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override;

    // The error page shown for a failed load, as UTF-8. The address and the
    // error text are escaped for HTML, and the password in the address is
    // shown as asterisks: the page may be on a screen that others see.
    static std::string errorPage(const CefString &failedUrl, const CefString &errorText, int errorCode);

private:
    // Browser UI thread only.
    std::list<CefRefPtr<CefBrowser>> popupBrowsers;
    std::atomic<bool> closing;
    // Written on the browser UI thread, copied on the GUI thread.
    CefRefPtr<CefBrowser> mainBrowser;
    std::mutex mainBrowserLock;
    // Reports are made while holding listenerLock, so that SetListener can
    // wait for a report that is running.
    Listener *listener;
    std::mutex listenerLock;
    // Browser UI thread only.
    int mainBrowserId;
    // Recent recoveries of each open browser, by identifier.
    std::map<int, std::deque<std::chrono::steady_clock::time_point>> recoveries;

    IMPLEMENT_REFCOUNTING(QCefClientHandler);
    DISALLOW_COPY_AND_ASSIGN(QCefClientHandler);
};

#endif // QCEFCLIENTHANDLER_H
