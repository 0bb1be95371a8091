#include "qcefclienthandler.h"

#include <algorithm>
#include <sstream>

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include "certificatequestion.h"
#include "downloadfiles.h"
#include "downloadquestion.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"
#include "guithread.h"
#include "pagedialogs.h"

namespace {

// A blob's address names the origin that made it.
QUrl originUrlOf(const QString &address)
{
    const QUrl url(address);
    return url.scheme() == QLatin1String("blob") ? QUrl(url.path()) : url;
}

std::string escapeHtml(const std::string &text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

// The address with the value of "pass=" in its query, up to the end of the
// query, replaced by six asterisks, whatever its length.
std::string maskPassword(const std::string &url)
{
    const std::string::size_type query = url.find('?');
    if (query == std::string::npos)
        return url;
    const std::string::size_type fragment = url.find('#', query);
    const std::string::size_type end = fragment == std::string::npos ? url.size() : fragment;
    const std::string::size_type key = url.find("pass=", query);
    if (key == std::string::npos || key >= end)
        return url;
    const std::string::size_type value = key + 5;
    return url.substr(0, value) + "******" + url.substr(end);
}

} // namespace

QCefClientHandler::QCefClientHandler()
    : closing(false)
    , listener(nullptr)
    , mainBrowserId(0)
    , reconnector(
          [this](int delayMs, std::function<void()> task) {
              // The handler stays alive until the retry has run.
              CefRefPtr<QCefClientHandler> self(this);
              CefPostDelayedTask(TID_UI, [self, task] { task(); }, delayMs);
          },
          [this](const std::string &url) {
              if (CefRefPtr<CefBrowser> browser = GetBrowser())
                  browser->GetMainFrame()->LoadURL(url);
          },
          [this](const std::string &url) { return platformOrigin.contains(QUrl(QString::fromStdString(url))); })
    , permissions(new PermissionBroker(platformOrigin))
    , keys(new BrowserKeys())
{
}

QCefClientHandler::~QCefClientHandler()
{
    for (const auto &entry : downloads)
        discardDownload(entry.second.temporaryPath);
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

CefRefPtr<CefDisplayHandler> QCefClientHandler::GetDisplayHandler()
{
    return this;
}

CefRefPtr<CefDownloadHandler> QCefClientHandler::GetDownloadHandler()
{
    return this;
}

CefRefPtr<CefJSDialogHandler> QCefClientHandler::GetJSDialogHandler()
{
    return this;
}

CefRefPtr<CefKeyboardHandler> QCefClientHandler::GetKeyboardHandler()
{
    return keys;
}

CefRefPtr<CefLifeSpanHandler> QCefClientHandler::GetLifeSpanHandler()
{
    return this;
}

CefRefPtr<CefLoadHandler> QCefClientHandler::GetLoadHandler()
{
    return this;
}

CefRefPtr<CefNotificationHandler> QCefClientHandler::GetNotificationHandler()
{
    return this;
}

CefRefPtr<CefPermissionHandler> QCefClientHandler::GetPermissionHandler()
{
    return this;
}

CefRefPtr<CefRequestHandler> QCefClientHandler::GetRequestHandler()
{
    return this;
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

void QCefClientHandler::OnBeforeDownload(CefRefPtr<CefBrowser> browser,
                                         CefRefPtr<CefDownloadItem> downloadItem,
                                         const CefString &suggestedName,
                                         CefRefPtr<CefBeforeDownloadCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    CefRefPtr<CefFrame> mainFrame = browser->GetMainFrame();
    const QUrl page = originUrlOf(mainFrame ? mainFrame->GetURL().ToQString() : QString());
    const QUrl file = originUrlOf(downloadItem->GetURL().ToQString());
    const bool platform = platformOrigin.contains(page) && platformOrigin.contains(file);
    const int browserId = browser->GetIdentifier();
    const DownloadLimiter::Verdict verdict
        = downloadLimiter.onDownload(browserId, PlatformOrigin::of(page), platform, DownloadLimiter::Clock::now());
    // Unanswered, the callback cancels the download.
    if (verdict == DownloadLimiter::Verdict::Refuse)
        return;
    Download download;
    download.directory = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    download.name = downloadFileName(suggestedName.ToQString());
    download.temporaryPath = reserveDownload(download.directory, download.name);
    if (download.temporaryPath.isEmpty()) {
        notify(QString::fromUtf8("无法下载 %1：%2 不可写。")
                   .arg(download.name, QDir::toNativeSeparators(download.directory)));
        return;
    }
    download.browserId = browserId;
    download.held = verdict != DownloadLimiter::Verdict::Allow;
    downloads[downloadItem->GetId()] = download;
    callback->Continue(CefString(download.temporaryPath), false);
    if (verdict != DownloadLimiter::Verdict::Ask)
        return;
    CefRefPtr<QCefClientHandler> self = this;
    const QString origin = PlatformOrigin::shown(page.host().isEmpty() ? file : page);
    postToGuiThread([self, browser, browserId, origin] {
        askMultipleDownloads(browser, origin, [self, browserId](bool allowed) {
            CefPostTask(TID_UI, [self, browserId, allowed] { self->answerDownloads(browserId, allowed); });
        });
    });
}

void QCefClientHandler::OnDownloadUpdated(CefRefPtr<CefBrowser> browser,
                                          CefRefPtr<CefDownloadItem> downloadItem,
                                          CefRefPtr<CefDownloadItemCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    (void)browser;
    const auto it = downloads.find(downloadItem->GetId());
    if (it == downloads.end())
        return;
    if (downloadItem->IsInProgress()) {
        if (it->second.refused)
            callback->Cancel();
        else
            it->second.control = callback;
        return;
    }
    if (downloadItem->IsComplete() && it->second.held) {
        // Saved, or thrown away, once the user has answered.
        it->second.complete = true;
        it->second.control = nullptr;
        return;
    }
    const Download download = it->second;
    downloads.erase(it);
    if (downloadItem->IsComplete() && !download.refused) {
        saveDownload(download);
        return;
    }
    // An interrupted download is given up rather than left half done.
    if (downloadItem->IsInterrupted())
        callback->Cancel();
    discardDownload(download.temporaryPath);
    if (!download.refused)
        notify(QString::fromUtf8("下载失败：%1").arg(download.name));
}

void QCefClientHandler::saveDownload(const Download &download)
{
    const QString saved = publishDownload(download.temporaryPath, download.directory, download.name);
    if (saved.isEmpty())
        notify(QString::fromUtf8("下载失败：%1").arg(download.name));
    else if (saved == download.temporaryPath)
        notify(QString::fromUtf8("无法存入 %1，文件留在 %2")
                   .arg(QDir::toNativeSeparators(download.directory), QDir::toNativeSeparators(saved)));
    else
        notify(QString::fromUtf8("已下载到 %1").arg(QDir::toNativeSeparators(saved)));
}

void QCefClientHandler::answerDownloads(int browserId, bool allowed)
{
    CEF_REQUIRE_UI_THREAD();
    downloadLimiter.answer(browserId, allowed);
    for (auto it = downloads.begin(); it != downloads.end();) {
        Download &download = it->second;
        if (download.browserId != browserId || !download.held) {
            ++it;
            continue;
        }
        download.held = false;
        download.refused = !allowed;
        if (download.complete) {
            if (allowed)
                saveDownload(download);
            else
                discardDownload(download.temporaryPath);
            it = downloads.erase(it);
            continue;
        }
        if (download.refused && download.control)
            download.control->Cancel();
        ++it;
    }
}

bool QCefClientHandler::OnJSDialog(CefRefPtr<CefBrowser> browser,
                                   const CefString &originUrl,
                                   JSDialogType dialogType,
                                   const CefString &messageText,
                                   const CefString &defaultPromptText,
                                   CefRefPtr<CefJSDialogCallback> callback,
                                   bool &suppressMessage)
{
    CEF_REQUIRE_UI_THREAD();
    const int id = browser->GetIdentifier();
    bool offerStop = false;
    {
        std::lock_guard<std::mutex> guard(pageDialogsLock);
        PageDialogs &dialogs = pageDialogs[id];
        if (dialogs.stopped) {
            // The user stopped this page's dialogs: each is cancelled at once.
            suppressMessage = true;
            return false;
        }
        // From the second dialog of a page on, the user may stop them all.
        offerStop = ++dialogs.shown > 1;
    }
    const QString origin = originUrl.ToQString();
    const QString message = messageText.ToQString();
    const QString defaultText = defaultPromptText.ToQString();
    CefRefPtr<QCefClientHandler> self = this;
    postToGuiThread([self, id, browser, origin, dialogType, message, defaultText, offerStop, callback] {
        showJavaScriptDialog(browser, origin, dialogType, message, defaultText, offerStop,
                             [self, id, callback](bool ok, const QString &input, bool stop) {
                                 if (stop) {
                                     std::lock_guard<std::mutex> guard(self->pageDialogsLock);
                                     self->pageDialogs[id].stopped = true;
                                 }
                                 callback->Continue(ok, CefString(input));
                             });
    });
    return true;
}

bool QCefClientHandler::OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser,
                                             const CefString &messageText,
                                             bool isReload,
                                             CefRefPtr<CefJSDialogCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    (void)messageText;
    (void)isReload;
    const QUrl page(browser->GetMainFrame()->GetURL().ToQString());
    const QString origin = PlatformOrigin::shown(page);
    postToGuiThread([browser, origin, callback] {
        askToLeavePage(browser, origin, [callback](bool leave) { callback->Continue(leave, CefString()); });
    });
    return true;
}

bool QCefClientHandler::OnRequestMediaAccessPermission(CefRefPtr<CefBrowser> browser,
                                                       CefRefPtr<CefFrame> frame,
                                                       const CefString &requestingOrigin,
                                                       uint32_t requestedPermissions,
                                                       CefRefPtr<CefMediaAccessCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    (void)frame;
    permissions->requestMedia(browser, requestingOrigin.ToQString(), requestedPermissions, callback);
    return true;
}

bool QCefClientHandler::OnShowPermissionPrompt(CefRefPtr<CefBrowser> browser,
                                               uint64_t promptId,
                                               const CefString &requestingOrigin,
                                               uint32_t requestedPermissions,
                                               CefRefPtr<CefPermissionPromptCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    (void)promptId;
    permissions->requestPrompt(browser, requestingOrigin.ToQString(), requestedPermissions, callback);
    return true;
}

bool QCefClientHandler::OnShowNotification(CefRefPtr<CefBrowser> browser, CefRefPtr<CefNotification> notification)
{
    CEF_REQUIRE_UI_THREAD();
    (void)browser;
    if (!platformOrigin.contains(QUrl(notification->GetOrigin().ToQString())))
        return false;
    std::lock_guard<std::mutex> guard(listenerLock);
    if (!listener)
        return false;
    listener->OnNotification(notification);
    return true;
}

void QCefClientHandler::OnNotificationClosed(CefRefPtr<CefBrowser> browser, CefRefPtr<CefNotification> notification)
{
    CEF_REQUIRE_UI_THREAD();
    (void)browser;
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
    recoveries.erase(browser->GetIdentifier());
    downloadLimiter.forget(browser->GetIdentifier());
    errorPagesLoading.erase(browser->GetIdentifier());
    {
        std::lock_guard<std::mutex> guard(pageDialogsLock);
        pageDialogs.erase(browser->GetIdentifier());
    }
    if (browser->GetIdentifier() == mainBrowserId) {
        reconnector.stop();
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

void QCefClientHandler::OnLoadError(CefRefPtr<CefBrowser> browser,
                                    CefRefPtr<CefFrame> frame,
                                    ErrorCode errorCode,
                                    const CefString &errorText,
                                    const CefString &failedUrl)
{
    CEF_REQUIRE_UI_THREAD();
    const bool mainFrame = isMainFrameOfMain(browser, frame);
    const auto ownPage = errorPagesLoading.find(browser->GetIdentifier());
    if (ownPage != errorPagesLoading.end()) {
        // The error page itself failed before it started: another error page
        // would only fail again, for ever.
        errorPagesLoading.erase(ownPage);
        if (mainFrame)
            reconnector.ownLoadFailed();
        return;
    }
    if (mainFrame)
        reconnector.onLoadError(errorCode, failedUrl.ToString());
    if (errorCode != ERR_ABORTED && !failedUrl.empty()) {
        // The error page is a load of its own; it does not end the retries.
        if (mainFrame)
            reconnector.expectOwnLoad();
        errorPagesLoading.insert(browser->GetIdentifier());
        frame->LoadString(CefString(errorPage(failedUrl, errorText, errorCode)), failedUrl);
    }
}

void QCefClientHandler::OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, TransitionType)
{
    CEF_REQUIRE_UI_THREAD();
    errorPagesLoading.erase(browser->GetIdentifier());
    if (frame && frame->IsMain()) {
        // A page that navigates may ask again, as a new page.
        std::lock_guard<std::mutex> guard(pageDialogsLock);
        pageDialogs.erase(browser->GetIdentifier());
    }
    if (isMainFrameOfMain(browser, frame))
        reconnector.onLoadStart();
}

bool QCefClientHandler::OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       CefRefPtr<CefRequest> request, bool userGesture, bool isRedirect)
{
    CEF_REQUIRE_UI_THREAD();
    (void)userGesture;
    (void)isRedirect;
    if (isMainFrameOfMain(browser, frame))
        reconnector.onRequest(request->GetMethod().ToString());
    return false;
}

void QCefClientHandler::OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode)
{
    CEF_REQUIRE_UI_THREAD();
    if (isMainFrameOfMain(browser, frame))
        reconnector.onLoadEnd(httpStatusCode);
}

void QCefClientHandler::OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status)
{
    CEF_REQUIRE_UI_THREAD();
    (void)status;
    // At most three recoveries a minute: beyond that the page itself is what
    // kills its renderer, and reloading it would only loop.
    std::deque<std::chrono::steady_clock::time_point> &recent = recoveries[browser->GetIdentifier()];
    const auto now = std::chrono::steady_clock::now();
    while (!recent.empty() && now - recent.front() > std::chrono::minutes(1))
        recent.pop_front();
    if (recent.size() >= 3)
        return;
    recent.push_back(now);
    if (browser->GetIdentifier() == mainBrowserId)
        reconnector.expectOwnLoad();
    browser->Reload();
}

bool QCefClientHandler::OnCertificateError(CefRefPtr<CefBrowser> browser,
                                           cef_errorcode_t certError,
                                           const CefString &requestUrl,
                                           CefRefPtr<CefSSLInfo> sslInfo,
                                           CefRefPtr<CefCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    (void)certError;
    const QUrl url(requestUrl.ToQString());
    const QUrl platformUrl(platformOrigin.get());
    if (url.scheme() != QLatin1String("https") || url.host().isEmpty() || platformUrl.host().isEmpty()
        || url.host().compare(platformUrl.host(), Qt::CaseInsensitive) != 0)
        return false;
    CefRefPtr<CefX509Certificate> certificate = sslInfo ? sslInfo->GetX509Certificate() : nullptr;
    CefRefPtr<CefBinaryValue> der = certificate ? certificate->GetDEREncoded() : nullptr;
    if (!der || !der->GetSize())
        return false;
    const QByteArray fingerprint = CertificatePins::fingerprint(
        QByteArray(static_cast<const char *>(der->GetRawData()), int(der->GetSize())));
    const int port = url.port(443);
    const QString key = CertificatePins::key(url.host(), port);
    const QString address = QStringLiteral("https://") + url.host().toLower()
        + (port == 443 ? QString() : QLatin1Char(':') + QString::number(port));
    CefRefPtr<QCefClientHandler> self = this;
    postToGuiThread([self, browser, key, address, fingerprint, callback] {
        self->decideCertificate(browser, key, address, fingerprint, callback);
    });
    return true;
}

void QCefClientHandler::decideCertificate(CefRefPtr<CefBrowser> browser, const QString &key, const QString &address,
                                          const QByteArray &fingerprint, CefRefPtr<CefCallback> callback)
{
    REQUIRE_GUI_THREAD();
    const QByteArray pinned = certificatePins.pinned(key);
    const QString question = key + QLatin1Char(' ') + QString::fromLatin1(fingerprint);
    if (pinned == fingerprint) {
        callback->Continue();
        return;
    }
    if (std::find(refusedCertificates.begin(), refusedCertificates.end(), question) != refusedCertificates.end()) {
        callback->Cancel();
        return;
    }
    std::vector<CefRefPtr<CefCallback>> &waiting = certificateQuestions[question];
    waiting.push_back(callback);
    if (waiting.size() > 1)
        return;
    CefRefPtr<QCefClientHandler> self = this;
    const auto answer = [self, key, address, fingerprint, question](bool trusted) {
        // A pin that cannot be written still lets this run go on; the
        // question comes again at the next start.
        if (trusted && !self->certificatePins.pin(key, fingerprint))
            self->notify(QString::fromUtf8("无法记住 %1 的证书：%2 不可写，下次启动时会再次询问。")
                             .arg(address, QDir::toNativeSeparators(QDir::current().absoluteFilePath(
                                               QString::fromLatin1(CertificatePins::defaultFileName)))));
        else if (!trusted)
            self->refusedCertificates.push_back(question);
        std::vector<CefRefPtr<CefCallback>> answered;
        answered.swap(self->certificateQuestions[question]);
        self->certificateQuestions.erase(question);
        for (CefRefPtr<CefCallback> &waiter : answered) {
            if (trusted)
                waiter->Continue();
            else
                waiter->Cancel();
        }
    };
    askToTrustCertificate(browser, address, fingerprint, pinned, answer);
}

std::string QCefClientHandler::errorPage(const CefString &failedUrl, const CefString &errorText, int errorCode)
{
    // A page may navigate to an address of any length; the error page shows
    // its start, cut between whole characters, so that it stays small.
    const std::string::size_type maxShown = 2048;
    std::string shown = maskPassword(failedUrl.ToString());
    if (shown.size() > maxShown) {
        std::string::size_type cut = maxShown;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
            --cut;
        shown = shown.substr(0, cut) + "\u2026";
    }
    std::stringstream ss;
    ss << "<html><body bgcolor=\"white\"><h2>Failed to load URL " << escapeHtml(shown)
       << " with error " << escapeHtml(errorText.ToString()) << " (" << errorCode << ").</h2></body></html>";
    return ss.str();
}
