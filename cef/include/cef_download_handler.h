// Callbacks about downloads.
#ifndef CEF_INCLUDE_CEF_DOWNLOAD_HANDLER_H_
#define CEF_INCLUDE_CEF_DOWNLOAD_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_download_item.h"

///
/// Answers CefDownloadHandler::OnBeforeDownload. Any thread.
///
class CefBeforeDownloadCallback : public virtual CefBaseRefCounted {
 public:
  ///
  /// Starts the download into |download_path|, the full path of the file
  /// including its name; an empty path means the engine's default directory
  /// under the suggested name. |show_dialog| is not supported and ignored.
  /// Releasing the callback without calling Continue cancels the download.
  ///
  virtual void Continue(const CefString& download_path, bool show_dialog) = 0;
};

///
/// Controls a running download from CefDownloadHandler::OnDownloadUpdated.
/// Any thread.
///
class CefDownloadItemCallback : public virtual CefBaseRefCounted {
 public:
  /// Cancels the download; the engine removes what it has written.
  virtual void Cancel() = 0;
  /// Pauses the download.
  virtual void Pause() = 0;
  /// Resumes a paused or interrupted download.
  virtual void Resume() = 0;
};

///
/// Download callbacks, all on the browser UI thread. A client without a
/// download handler gets no downloads: they are cancelled.
///
class CefDownloadHandler : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called before a download starts. Call |callback| now or later to go on;
  /// releasing it unused cancels the download. |suggested_name| is the file
  /// name the server or the page proposes.
  ///
  virtual void OnBeforeDownload(CefRefPtr<CefBrowser> browser,
                                CefRefPtr<CefDownloadItem> download_item,
                                const CefString& suggested_name,
                                CefRefPtr<CefBeforeDownloadCallback> callback) = 0;

  ///
  /// Called when the state or the progress of a download changed, last with
  /// the download complete, cancelled or interrupted. A download accepted in
  /// OnBeforeDownload belongs to the client, not to |browser|: it goes on
  /// when |browser| closes and is still reported here, after OnBeforeClose,
  /// until it ends. This is the only callback a client gets for a browser
  /// after OnBeforeClose; |browser| then takes no more commands.
  ///
  virtual void OnDownloadUpdated(CefRefPtr<CefBrowser> browser,
                                 CefRefPtr<CefDownloadItem> download_item,
                                 CefRefPtr<CefDownloadItemCallback> callback) {
    (void)browser;
    (void)download_item;
    (void)callback;
  }
};

#endif  // CEF_INCLUDE_CEF_DOWNLOAD_HANDLER_H_
