#ifndef DOWNLOADSAVER_H
#define DOWNLOADSAVER_H

#include <map>

#include <QString>

#include "downloadlimiter.h"
#include "include/cef_download_handler.h"
#include "notices.h"
#include "platformorigin.h"

// Saves a page's downloads to the user's download directory under the name
// the server gives, made unique, and tells the user where the file went. A
// page that downloads more than it may (DownloadLimiter) is asked about
// first: its download runs meanwhile but takes its name only once the user
// allows, and is cancelled when the user refuses. A download goes on, and is
// saved, after the window that started it has closed.
//
// Threads: everything runs on the browser UI thread, notices too; the
// question about a page's downloads is put on the GUI thread.
class DownloadSaver : public CefBaseRefCounted
{
public:
    // |platform| must outlive the calls of onBeforeDownload.
    DownloadSaver(const PlatformOrigin &platform, CefRefPtr<Notices> notices);
    // Removes what downloads still running have written.
    ~DownloadSaver() override;

    void onBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> item,
                          const CefString &suggestedName, CefRefPtr<CefBeforeDownloadCallback> callback);
    void onDownloadUpdated(CefRefPtr<CefDownloadItem> item, CefRefPtr<CefDownloadItemCallback> callback);
    // The browser |browserId| has closed.
    void forget(int browserId);

private:
    struct Download
    {
        QString temporaryPath;
        QString directory;
        QString name;
        int browserId = 0;
        // Waiting for the user's answer about the page's downloads.
        bool held = false;
        bool complete = false;
        bool refused = false;
        CefRefPtr<CefDownloadItemCallback> control;
    };

    // Saves a complete download and tells the user where.
    void save(const Download &download);
    // The user's answer about the downloads of |browserId|.
    void answer(int browserId, bool allowed);

    const PlatformOrigin &platform;
    const CefRefPtr<Notices> notices;
    std::map<uint32_t, Download> downloads;
    DownloadLimiter limiter;

    IMPLEMENT_REFCOUNTING(DownloadSaver);
};

#endif // DOWNLOADSAVER_H
