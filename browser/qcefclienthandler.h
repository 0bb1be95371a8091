#ifndef QCEFCLIENTHANDLER_H
#define QCEFCLIENTHANDLER_H

#include <atomic>
#include <list>
#include <mutex>

#include <QString>
#include <QUrl>

#include "browserkeys.h"
#include "certificatetrust.h"
#include "downloadsaver.h"
#include "include/cef_client.h"
#include "javascriptdialogs.h"
#include "pagerecovery.h"
#include "permissionbroker.h"
#include "platformorigin.h"

class QEvent;

// The engine client of the web view's browser: holds the main browser and its
// popups, notes when the main browser is asked to close, reports creation and
// titles to its listener and hands the platform's notifications to it. The
// rest it hands on, one job to each helper: error pages, crash recovery and
// reconnecting (PageRecovery), downloads (DownloadSaver), JavaScript dialogs
// (JavaScriptDialogs), devices and notifications (PermissionBroker) and
// certificates (CertificateTrust), all judged against the platform's origin
// (PlatformOrigin).
//
// Threads: the constructor, SetListener, SetPlatformUrl, GetBrowser and
// IsClosing run on the Qt GUI thread; every engine callback below runs on the
// browser UI thread, and so do the listener calls made from them. Dialogs are
// shown from tasks handed to the GUI thread, which answer the engine's
// callbacks from there.
class QCefClientHandler : public CefClient,
                          public CefDisplayHandler,
                          public CefDownloadHandler,
                          public CefJSDialogHandler,
                          public CefLifeSpanHandler,
                          public CefLoadHandler,
                          public CefNotificationHandler,
                          public CefPermissionHandler,
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
        // A short message for the user, such as where a download was saved.
        virtual void OnNotice(const QString &text) { (void)text; }
        // A notification of the platform's page to show, and one that the
        // page has closed itself (the same object).
        virtual void OnNotification(CefRefPtr<CefNotification> notification) { (void)notification; }
        virtual void OnNotificationClosed(CefRefPtr<CefNotification> notification) { (void)notification; }
    };

    QCefClientHandler();
    ~QCefClientHandler() override;

    // Sets the receiver of reports; null switches them off. When it returns,
    // no report reaches the previous listener any more: a report running at
    // that moment is waited for. Must not be called from inside a report.
    void SetListener(Listener *listener);

    // A new reference to the main browser, or null before it exists and after
    // it has closed.
    CefRefPtr<CefBrowser> GetBrowser();

    // True once the engine has asked to close the main browser.
    bool IsClosing();

    // The address of the platform the user logged in to. Only its origin
    // may ask for devices and notifications; every other origin is refused
    // without a question. When the main frame then arrives at https on the
    // same host, as after the platform's redirect from http, that is the
    // platform's origin from then on.
    void SetPlatformUrl(const QUrl &url);

    // CefClient methods.
    CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
    CefRefPtr<CefDownloadHandler> GetDownloadHandler() override { return this; }
    CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
    CefRefPtr<CefKeyboardHandler> GetKeyboardHandler() override { return keys; }
    CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
    CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
    CefRefPtr<CefNotificationHandler> GetNotificationHandler() override { return this; }
    CefRefPtr<CefPermissionHandler> GetPermissionHandler() override { return this; }
    CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

    // CefDisplayHandler methods.
    // Follows the platform from http to https on its own host.
    void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString &url) override;
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override;

    // CefDownloadHandler methods (DownloadSaver).
    void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> downloadItem,
                          const CefString &suggestedName, CefRefPtr<CefBeforeDownloadCallback> callback) override;
    void OnDownloadUpdated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> downloadItem,
                           CefRefPtr<CefDownloadItemCallback> callback) override;

    // CefJSDialogHandler methods (JavaScriptDialogs).
    bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString &originUrl, JSDialogType dialogType,
                    const CefString &messageText, const CefString &defaultPromptText,
                    CefRefPtr<CefJSDialogCallback> callback, bool &suppressMessage) override;
    bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString &messageText, bool isReload,
                              CefRefPtr<CefJSDialogCallback> callback) override;

    // CefLifeSpanHandler methods.
    void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
    bool DoClose(CefRefPtr<CefBrowser> browser) override;
    void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

    // CefLoadHandler methods.
    void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, TransitionType transitionType) override;
    void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override;
    void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode errorCode,
                     const CefString &errorText, const CefString &failedUrl) override;

    // CefNotificationHandler methods.
    // Only the platform's origin may show notifications; they go to the
    // listener, and without one they are dropped.
    bool OnShowNotification(CefRefPtr<CefBrowser> browser, CefRefPtr<CefNotification> notification) override;
    void OnNotificationClosed(CefRefPtr<CefBrowser> browser, CefRefPtr<CefNotification> notification) override;

    // CefPermissionHandler methods.
    bool OnRequestMediaAccessPermission(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                        const CefString &requestingOrigin, uint32_t requestedPermissions,
                                        CefRefPtr<CefMediaAccessCallback> callback) override;
    bool OnShowPermissionPrompt(CefRefPtr<CefBrowser> browser, uint64_t promptId, const CefString &requestingOrigin,
                                uint32_t requestedPermissions,
                                CefRefPtr<CefPermissionPromptCallback> callback) override;

    // CefRequestHandler methods.
    // PageRecovery reloads a page whose render process died.
    void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override;
    // CertificateTrust decides.
    bool OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t certError, const CefString &requestUrl,
                            CefRefPtr<CefSSLInfo> sslInfo, CefRefPtr<CefCallback> callback) override;
    // The method of the main page's requests, for the reconnect.
    bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                        bool userGesture, bool isRedirect) override;

private:
    bool isMainFrameOfMain(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) const;
    void notify(const QString &text);

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
    PageRecovery recovery;
    // Written on the GUI thread, read on the browser UI thread.
    PlatformOrigin platformOrigin;

    // The jobs the callbacks hand on, each with its own threads.
    CefRefPtr<Notices> notices;
    CefRefPtr<DownloadSaver> downloads;
    CefRefPtr<JavaScriptDialogs> dialogs;
    CefRefPtr<PermissionBroker> permissions;
    CefRefPtr<CertificateTrust> certificates;
    // The browser's keys: reload, full screen and zoom.
    CefRefPtr<BrowserKeys> keys;

    IMPLEMENT_REFCOUNTING(QCefClientHandler);
    DISALLOW_COPY_AND_ASSIGN(QCefClientHandler);
};

#endif // QCEFCLIENTHANDLER_H
