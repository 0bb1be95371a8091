// Hands the engine's downloads to the clients of the browsers that start them.
#ifndef CEF_LIBCEF_ENGINE_DOWNLOAD_MANAGER_H_
#define CEF_LIBCEF_ENGINE_DOWNLOAD_MANAGER_H_
#pragma once

#include <cstdint>
#include <map>

#include <QObject>
#include <QPointer>
#include <QString>

#include "libcef/engine/browser_host_impl.h"

class QWebEngineDownloadItem;
class QWebEngineProfile;

namespace cef {

///
/// Routes the profile's downloads to CefDownloadHandler: OnBeforeDownload
/// decides whether and where a download goes (no handler: it is cancelled),
/// OnDownloadUpdated follows it to its end, also after the browser that
/// started it has closed: an accepted download is the client's. Lives on the
/// Qt GUI thread as a child of the profile.
///
class DownloadManager : public QObject {
 public:
  explicit DownloadManager(QWebEngineProfile* profile);

  /// The engine's own control of a download: cancel, pause or resume.
  typedef void (QWebEngineDownloadItem::*Action)();
  /// GUI thread: applies a CefDownloadItemCallback request to download |id|.
  void Control(uint32_t id, Action action);

 private:
  struct Download {
    QPointer<QWebEngineDownloadItem> item;
    // The browser that started it, kept after it has closed for its client.
    CefRefPtr<CefBrowserHostImpl> browser;
    QString directory;
    QString file_name;
  };

  void OnDownloadRequested(QWebEngineDownloadItem* item);
  void Follow(QWebEngineDownloadItem* item);
  void Report(uint32_t id);

  std::map<uint32_t, Download> downloads_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_DOWNLOAD_MANAGER_H_
