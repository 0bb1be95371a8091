#include "libcef/engine/download_manager.h"

#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadItem>
#include <QWebEngineProfile>

#include "libcef/engine/browser_info_manager.h"
#include "libcef/engine/download_item_impl.h"
#include "libcef/engine/pending_reply.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

struct Target {
  bool accepted = false;
  QString path;
};

class BeforeDownloadCallback : public CefBeforeDownloadCallback {
 public:
  explicit BeforeDownloadCallback(std::shared_ptr<PendingReply<Target>> reply) : reply_(std::move(reply)) {}
  // Released unanswered: the download is cancelled.
  ~BeforeDownloadCallback() override { reply_->Set(Target()); }

  void Continue(const CefString& download_path, bool show_dialog) override {
    (void)show_dialog;
    Target target;
    target.accepted = true;
    target.path = download_path.ToQString();
    reply_->Set(target);
  }

 private:
  const std::shared_ptr<PendingReply<Target>> reply_;
  IMPLEMENT_REFCOUNTING(BeforeDownloadCallback);
  DISALLOW_COPY_AND_ASSIGN(BeforeDownloadCallback);
};

class DownloadItemCallback : public CefDownloadItemCallback {
 public:
  DownloadItemCallback(DownloadManager* manager, uint32_t id) : manager_(manager), id_(id) {}

  void Cancel() override { Post(&QWebEngineDownloadItem::cancel); }
  void Pause() override { Post(&QWebEngineDownloadItem::pause); }
  void Resume() override { Post(&QWebEngineDownloadItem::resume); }

 private:
  void Post(DownloadManager::Action action) {
    CEF_POST_GUI_TASK(BindOnce(&DownloadManager::Control, manager_, id_, action));
  }

  // Dereferenced on the GUI thread only.
  const QPointer<DownloadManager> manager_;
  const uint32_t id_;
  IMPLEMENT_REFCOUNTING(DownloadItemCallback);
  DISALLOW_COPY_AND_ASSIGN(DownloadItemCallback);
};

QString FullPath(const QWebEngineDownloadItem* item) {
  return QDir(item->downloadDirectory()).filePath(item->downloadFileName());
}

}  // namespace

DownloadManager::DownloadManager(QWebEngineProfile* profile) : QObject(profile) {
  // The engine wants its answer before the signal returns.
  connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadManager::OnDownloadRequested,
          Qt::DirectConnection);
}

void DownloadManager::OnDownloadRequested(QWebEngineDownloadItem* item) {
  Q_ASSERT(Context::CurrentlyOnGui());
  if (item->isSavePageDownload())
    return;
  const uint32_t id = item->id();
  const auto known = downloads_.find(id);
  if (known != downloads_.end()) {
    // The engine retries a download broken off by the network under a new
    // item of the same identifier; it goes on to the same file, unasked.
    item->setDownloadDirectory(known->second.directory);
    item->setDownloadFileName(known->second.file_name);
    item->accept();
    known->second.item = item;
    Follow(item);
    return;
  }

  CefRefPtr<CefBrowserHostImpl> browser = BrowserInfoManager::GetInstance()->GetBrowserForPage(item->page());
  if (!browser)
    return;
  // An item left unaccepted when this returns is cancelled by the engine,
  // so the handler's answer is waited for here.
  auto reply = std::make_shared<PendingReply<Target>>();
  CefRefPtr<CefBeforeDownloadCallback> callback = new BeforeDownloadCallback(reply);
  CefRefPtr<CefDownloadItem> snapshot = new CefDownloadItemImpl(item, QString());
  const QString suggested = item->suggestedFileName().isEmpty() ? item->downloadFileName() : item->suggestedFileName();
  // Posted straight to the UI thread, not behind events held back for a
  // load error (a link that turns into a download ends its navigation with
  // one): reading that error takes the engine's own tasks, and those do not
  // run while the GUI thread waits here.
  Context::PostUiTask([browser, snapshot, suggested, callback]() mutable {
    if (CefRefPtr<CefDownloadHandler> handler = browser->GetClient()->GetDownloadHandler())
      handler->OnBeforeDownload(browser.get(), snapshot, CefString(suggested), callback);
    // Unless the handler kept it, the answer is "cancel" from here on.
    callback = nullptr;
  });
  callback = nullptr;

  const QPointer<QWebEngineDownloadItem> guarded = item;
  Target target;
  if (!reply->Wait(&target) || !target.accepted || !guarded)
    return;
  if (!target.path.isEmpty()) {
    const QFileInfo path(target.path);
    item->setDownloadDirectory(path.absolutePath());
    item->setDownloadFileName(path.fileName());
  }
  item->accept();

  Download& download = downloads_[id];
  download.item = item;
  download.browser = browser;
  download.directory = item->downloadDirectory();
  download.file_name = item->downloadFileName();
  Follow(item);
  Report(id);
}

void DownloadManager::Follow(QWebEngineDownloadItem* item) {
  const uint32_t id = item->id();
  connect(item, &QWebEngineDownloadItem::downloadProgress, this, [this, id] { Report(id); });
  connect(item, &QWebEngineDownloadItem::stateChanged, this, [this, id] { Report(id); });
  connect(item, &QWebEngineDownloadItem::isPausedChanged, this, [this, id] { Report(id); });
}

void DownloadManager::Report(uint32_t id) {
  const auto it = downloads_.find(id);
  if (it == downloads_.end() || !it->second.item)
    return;
  Download& download = it->second;
  QWebEngineDownloadItem* item = download.item;
  CefRefPtr<CefDownloadItem> snapshot = new CefDownloadItemImpl(item, FullPath(item));
  CefRefPtr<CefDownloadItemCallback> callback = new DownloadItemCallback(this, id);
  download.browser->DeliverToClient([snapshot, callback](CefRefPtr<CefBrowserHostImpl> browser) {
    if (CefRefPtr<CefDownloadHandler> handler = browser->GetClient()->GetDownloadHandler())
      handler->OnDownloadUpdated(browser.get(), snapshot, callback);
  });
  // An interrupted download may still be resumed or cancelled.
  const QWebEngineDownloadItem::DownloadState state = item->state();
  if (state == QWebEngineDownloadItem::DownloadCompleted || state == QWebEngineDownloadItem::DownloadCancelled)
    downloads_.erase(it);
}

void DownloadManager::Control(uint32_t id, Action action) {
  Q_ASSERT(Context::CurrentlyOnGui());
  const auto it = downloads_.find(id);
  if (it == downloads_.end() || !it->second.item)
    return;
  (it->second.item.data()->*action)();
}

}  // namespace cef
