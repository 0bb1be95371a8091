#include "libcef/engine/download_item_impl.h"

#include <QUrl>
#include <QWebEngineDownloadItem>

CefDownloadItemImpl::CefDownloadItemImpl(const QWebEngineDownloadItem* item, const QString& full_path)
    : total_bytes_(qMax<qint64>(0, item->totalBytes())),
      received_bytes_(item->receivedBytes()),
      id_(item->id()),
      full_path_(full_path),
      url_(item->url().toString()),
      suggested_file_name_(item->suggestedFileName()),
      mime_type_(item->mimeType()) {
  const QWebEngineDownloadItem::DownloadState state = item->state();
  in_progress_ =
      state == QWebEngineDownloadItem::DownloadRequested || state == QWebEngineDownloadItem::DownloadInProgress;
  complete_ = state == QWebEngineDownloadItem::DownloadCompleted;
  canceled_ = state == QWebEngineDownloadItem::DownloadCancelled;
  interrupted_ = state == QWebEngineDownloadItem::DownloadInterrupted;
}

int CefDownloadItemImpl::GetPercentComplete() {
  if (complete_)
    return 100;
  if (total_bytes_ <= 0)
    return -1;
  return static_cast<int>(received_bytes_ * 100 / total_bytes_);
}
