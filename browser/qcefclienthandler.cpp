#include "qcefclienthandler.h"

#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"

QCefClientHandler::QCefClientHandler()
    : closing(false)
    , listener(nullptr)
    , mainBrowserId(0)
    , recovery(Reconnector(
          [this](int delayMs, std::function<void()> task) {
              // The handler stays alive until the retry has run.
              CefRefPtr<QCefClientHandler> self(this);
              CefPostDelayedTask(TID_UI, [self, task] { task(); }, delayMs);
          },
          [this](const std::string &url) {
              if (CefRefPtr<CefBrowser> browser = GetBrowser())
                  browser->GetMainFrame()->LoadURL(url);
          },
          [this](const std::string &url) { return platformOrigin.contains(QUrl(QString::fromStdString(url))); }))
    , notices(new Notices([this](const QString &text) { notify(text); }))
    , downloads(new DownloadSaver(platformOrigin, notices))
    , dialogs(new JavaScriptDialogs())
    , permissions(new PermissionBroker(platformOrigin))
    , certificates(new CertificateTrust(platformOrigin, notices))
    , keys(new BrowserKeys())
{
}

QCefClientHandler::~QCefClientHandler()
{
    // A download or a question may outlive the handler, but its notices
    // cannot.
    notices->detach();
}

bool QCefClientHandler::isMainFrameOfMain(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) const
{
    return browser && frame && browser->GetIdentifier() == mainBrowserId && frame->IsMain();
}

void QCefClientHandler::SetListener(Listener *newListener)
{
    std::lock_guard<std::mutex> guard(listenerLock);
    listener = newListener;
}

CefRefPtr<CefBrowser> QCefClientHandler::GetBrowser()
{
    std::lock_guard<std::mutex> guard(mainBrowserLock);
    return mainBrowser;
}

bool QCefClientHandler::IsClosing()
{
    return closing.load();
}

void QCefClientHandler::SetPlatformUrl(const QUrl &url)
{
    platformOrigin.set(url);
}

void QCefClientHandler::OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString &url)
{
    CEF_REQUIRE_UI_THREAD();
    if (!isMainFrameOfMain(browser, frame))
        return;
    platformOrigin.follow(QUrl(url.ToQString()));
}

void QCefClientHandler::notify(const QString &text)
{
    std::lock_guard<std::mutex> guard(listenerLock);
    if (listener)
        listener->OnNotice(text);
}

void QCefClientHandler::OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title)
{
    CEF_REQUIRE_UI_THREAD();
    std::lock_guard<std::mutex> guard(listenerLock);
    if (listener)
        listener->OnTitleChange(browser, title);
}

void QCefClientHandler::OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> downloadItem,
                                         const CefString &suggestedName, CefRefPtr<CefBeforeDownloadCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    downloads->onBeforeDownload(browser, downloadItem, suggestedName, callback);
}

void QCefClientHandler::OnDownloadUpdated(CefRefPtr<CefBrowser>, CefRefPtr<CefDownloadItem> downloadItem,
                                          CefRefPtr<CefDownloadItemCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    downloads->onDownloadUpdated(downloadItem, callback);
}

bool QCefClientHandler::OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString &originUrl, JSDialogType dialogType,
                                   const CefString &messageText, const CefString &defaultPromptText,
                                   CefRefPtr<CefJSDialogCallback> callback, bool &suppressMessage)
{
    CEF_REQUIRE_UI_THREAD();
    return dialogs->onJSDialog(browser, originUrl, dialogType, messageText, defaultPromptText, callback,
                               suppressMessage);
}

bool QCefClientHandler::OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString &, bool,
                                             CefRefPtr<CefJSDialogCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    dialogs->onBeforeUnloadDialog(browser, callback);
    return true;
}

bool QCefClientHandler::OnRequestMediaAccessPermission(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame>,
                                                       const CefString &requestingOrigin, uint32_t requestedPermissions,
                                                       CefRefPtr<CefMediaAccessCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    permissions->requestMedia(browser, requestingOrigin.ToQString(), requestedPermissions, callback);
    return true;
}

bool QCefClientHandler::OnShowPermissionPrompt(CefRefPtr<CefBrowser> browser, uint64_t,
                                               const CefString &requestingOrigin, uint32_t requestedPermissions,
                                               CefRefPtr<CefPermissionPromptCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    permissions->requestPrompt(browser, requestingOrigin.ToQString(), requestedPermissions, callback);
    return true;
}

bool QCefClientHandler::OnShowNotification(CefRefPtr<CefBrowser>, CefRefPtr<CefNotification> notification)
{
    CEF_REQUIRE_UI_THREAD();
    if (!platformOrigin.contains(QUrl(notification->GetOrigin().ToQString())))
        return false;
    std::lock_guard<std::mutex> guard(listenerLock);
    if (!listener)
        return false;
    listener->OnNotification(notification);
    return true;
}

void QCefClientHandler::OnNotificationClosed(CefRefPtr<CefBrowser>, CefRefPtr<CefNotification> notification)
{
    CEF_REQUIRE_UI_THREAD();
    std::lock_guard<std::mutex> guard(listenerLock);
    if (listener)
        listener->OnNotificationClosed(notification);
}

void QCefClientHandler::OnAfterCreated(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    bool becameMain = false;
    {
        std::lock_guard<std::mutex> guard(mainBrowserLock);
        if (!mainBrowser) {
            mainBrowser = browser;
            becameMain = true;
        }
    }
    if (becameMain) {
        mainBrowserId = browser->GetIdentifier();
        // Last, so that GetBrowser already answers while the listener runs.
        std::lock_guard<std::mutex> guard(listenerLock);
        if (listener)
            listener->OnAfterCreated();
    } else if (browser->IsPopup()) {
        popupBrowsers.push_back(browser);
    }
}

bool QCefClientHandler::DoClose(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    if (browser->GetIdentifier() == mainBrowserId)
        closing = true;
    return false;
}

void QCefClientHandler::OnBeforeClose(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    recovery.forget(browser->GetIdentifier(), browser->GetIdentifier() == mainBrowserId);
    downloads->forget(browser->GetIdentifier());
    dialogs->forget(browser->GetIdentifier());
    if (browser->GetIdentifier() == mainBrowserId) {
        CefRefPtr<CefBrowser> released;
        {
            std::lock_guard<std::mutex> guard(mainBrowserLock);
            released.swap(mainBrowser);
        }
        // The reference is dropped here, outside the lock.
        return;
    }
    if (browser->IsPopup()) {
        for (auto it = popupBrowsers.begin(); it != popupBrowsers.end(); ++it) {
            if ((*it)->IsSame(browser)) {
                popupBrowsers.erase(it);
                break;
            }
        }
    }
}

void QCefClientHandler::OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode errorCode,
                                    const CefString &errorText, const CefString &failedUrl)
{
    CEF_REQUIRE_UI_THREAD();
    recovery.onLoadError(browser, frame, isMainFrameOfMain(browser, frame), errorCode, errorText, failedUrl);
}

void QCefClientHandler::OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, TransitionType)
{
    CEF_REQUIRE_UI_THREAD();
    // A page that navigates may ask again, as a new page.
    if (frame && frame->IsMain())
        dialogs->forget(browser->GetIdentifier());
    recovery.onLoadStart(browser->GetIdentifier(), isMainFrameOfMain(browser, frame));
}

bool QCefClientHandler::OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       CefRefPtr<CefRequest> request, bool, bool)
{
    CEF_REQUIRE_UI_THREAD();
    recovery.onRequest(isMainFrameOfMain(browser, frame), request->GetMethod().ToString());
    return false;
}

void QCefClientHandler::OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode)
{
    CEF_REQUIRE_UI_THREAD();
    recovery.onLoadEnd(isMainFrameOfMain(browser, frame), httpStatusCode);
}

void QCefClientHandler::OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus)
{
    CEF_REQUIRE_UI_THREAD();
    recovery.onRenderProcessTerminated(browser, browser->GetIdentifier() == mainBrowserId);
}

bool QCefClientHandler::OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t, const CefString &requestUrl,
                                           CefRefPtr<CefSSLInfo> sslInfo, CefRefPtr<CefCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    return certificates->onCertificateError(browser, requestUrl, sslInfo, callback);
}
