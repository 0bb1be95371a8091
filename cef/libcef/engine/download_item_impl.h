// A download's state, copied for the browser UI thread.
#ifndef CEF_LIBCEF_ENGINE_DOWNLOAD_ITEM_IMPL_H_
#define CEF_LIBCEF_ENGINE_DOWNLOAD_ITEM_IMPL_H_
#pragma once

#include <QString>

#include "include/cef_download_item.h"

class QWebEngineDownloadItem;

///
/// Implements CefDownloadItem as a copy of the engine's download item taken
/// on the Qt GUI thread; readable on any thread afterwards.
///
class CefDownloadItemImpl : public CefDownloadItem {
 public:
  /// GUI thread. |full_path| is where the file is written, empty before the
  /// download has been accepted.
  CefDownloadItemImpl(const QWebEngineDownloadItem* item, const QString& full_path);

  // CefDownloadItem methods.
  bool IsValid() override { return true; }
  bool IsInProgress() override { return in_progress_; }
  bool IsComplete() override { return complete_; }
  bool IsCanceled() override { return canceled_; }
  bool IsInterrupted() override { return interrupted_; }
  int GetPercentComplete() override;
  int64_t GetTotalBytes() override { return total_bytes_; }
  int64_t GetReceivedBytes() override { return received_bytes_; }
  CefString GetFullPath() override { return CefString(full_path_); }
  uint32_t GetId() override { return id_; }
  CefString GetURL() override { return CefString(url_); }
  CefString GetSuggestedFileName() override { return CefString(suggested_file_name_); }
  CefString GetMimeType() override { return CefString(mime_type_); }

 private:
  bool in_progress_ = false;
  bool complete_ = false;
  bool canceled_ = false;
  bool interrupted_ = false;
  int64_t total_bytes_ = 0;
  int64_t received_bytes_ = 0;
  uint32_t id_ = 0;
  QString full_path_;
  QString url_;
  QString suggested_file_name_;
  QString mime_type_;

  IMPLEMENT_REFCOUNTING(CefDownloadItemImpl);
  DISALLOW_COPY_AND_ASSIGN(CefDownloadItemImpl);
};

#endif  // CEF_LIBCEF_ENGINE_DOWNLOAD_ITEM_IMPL_H_
