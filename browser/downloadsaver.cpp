#include "downloadsaver.h"

#include <QDir>
#include <QStandardPaths>

#include "downloadfiles.h"
#include "downloadquestion.h"
#include "guithread.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"

namespace {

// A blob's address names the origin that made it.
QUrl originUrlOf(const QString &address)
{
    const QUrl url(address);
    return url.scheme() == QLatin1String("blob") ? QUrl(url.path()) : url;
}

} // namespace

DownloadSaver::DownloadSaver(const PlatformOrigin &platform, CefRefPtr<Notices> notices)
    : platform(platform)
    , notices(notices)
{
}

DownloadSaver::~DownloadSaver()
{
    for (const auto &entry : downloads)
        discardDownload(entry.second.temporaryPath);
}

void DownloadSaver::forget(int browserId)
{
    limiter.forget(browserId);
}

void DownloadSaver::onBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> item,
                                     const CefString &suggestedName, CefRefPtr<CefBeforeDownloadCallback> callback)
{
    CefRefPtr<CefFrame> mainFrame = browser->GetMainFrame();
    const QUrl page = originUrlOf(mainFrame ? mainFrame->GetURL().ToQString() : QString());
    const QUrl file = originUrlOf(item->GetURL().ToQString());
    const bool fromPlatform = platform.contains(page) && platform.contains(file);
    const int browserId = browser->GetIdentifier();
    const DownloadLimiter::Verdict verdict
        = limiter.onDownload(browserId, PlatformOrigin::of(page), fromPlatform, DownloadLimiter::Clock::now());
    // Unanswered, the callback cancels the download.
    if (verdict == DownloadLimiter::Verdict::Refuse)
        return;
    Download download;
    download.directory = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    download.name = downloadFileName(suggestedName.ToQString());
    download.temporaryPath = reserveDownload(download.directory, download.name);
    if (download.temporaryPath.isEmpty()) {
        notices->send(QString::fromUtf8("无法下载 %1：%2 不可写。")
                   .arg(download.name, QDir::toNativeSeparators(download.directory)));
        return;
    }
    download.browserId = browserId;
    download.held = verdict != DownloadLimiter::Verdict::Allow;
    downloads[item->GetId()] = download;
    callback->Continue(CefString(download.temporaryPath), false);
    if (verdict != DownloadLimiter::Verdict::Ask)
        return;
    CefRefPtr<DownloadSaver> self = this;
    const QString origin = PlatformOrigin::shown(page.host().isEmpty() ? file : page);
    postToGuiThread([self, browser, browserId, origin] {
        askMultipleDownloads(browser, origin, [self, browserId](bool allowed) {
            CefPostTask(TID_UI, [self, browserId, allowed] { self->answer(browserId, allowed); });
        });
    });
}

void DownloadSaver::onDownloadUpdated(CefRefPtr<CefDownloadItem> item, CefRefPtr<CefDownloadItemCallback> callback)
{
    const auto it = downloads.find(item->GetId());
    if (it == downloads.end())
        return;
    if (item->IsInProgress()) {
        if (it->second.refused)
            callback->Cancel();
        else
            it->second.control = callback;
        return;
    }
    if (item->IsComplete() && it->second.held) {
        // Saved, or thrown away, once the user has answered.
        it->second.complete = true;
        it->second.control = nullptr;
        return;
    }
    const Download download = it->second;
    downloads.erase(it);
    if (item->IsComplete() && !download.refused) {
        save(download);
        return;
    }
    // An interrupted download is given up rather than left half done.
    if (item->IsInterrupted())
        callback->Cancel();
    discardDownload(download.temporaryPath);
    if (!download.refused)
        notices->send(QString::fromUtf8("下载失败：%1").arg(download.name));
}

void DownloadSaver::save(const Download &download)
{
    const QString saved = publishDownload(download.temporaryPath, download.directory, download.name);
    if (saved.isEmpty())
        notices->send(QString::fromUtf8("下载失败：%1").arg(download.name));
    else if (saved == download.temporaryPath)
        notices->send(QString::fromUtf8("无法存入 %1，文件留在 %2")
                   .arg(QDir::toNativeSeparators(download.directory), QDir::toNativeSeparators(saved)));
    else
        notices->send(QString::fromUtf8("已下载到 %1").arg(QDir::toNativeSeparators(saved)));
}

void DownloadSaver::answer(int browserId, bool allowed)
{
    CEF_REQUIRE_UI_THREAD();
    limiter.answer(browserId, allowed);
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
                save(download);
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
