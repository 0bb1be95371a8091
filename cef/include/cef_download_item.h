// A download as its handler sees it.
#ifndef CEF_INCLUDE_CEF_DOWNLOAD_ITEM_H_
#define CEF_INCLUDE_CEF_DOWNLOAD_ITEM_H_
#pragma once

#include <cstdint>

#include "include/cef_base.h"

///
/// The state of a download at the moment a download handler callback was
/// made. Any thread; the values do not change afterwards. Do not keep it
/// beyond the callback it came with.
///
class CefDownloadItem : public virtual CefBaseRefCounted {
 public:
  /// Returns true if the object is valid.
  virtual bool IsValid() = 0;
  /// Returns true while the download is running.
  virtual bool IsInProgress() = 0;
  /// Returns true once the whole file is at GetFullPath().
  virtual bool IsComplete() = 0;
  /// Returns true once the download has been cancelled.
  virtual bool IsCanceled() = 0;
  ///
  /// Returns true when the download stopped on an error (network, disk). It
  /// may still be resumed; cancel it to give it up.
  ///
  virtual bool IsInterrupted() = 0;
  /// Returns the percentage done, or -1 when the total size is unknown.
  virtual int GetPercentComplete() = 0;
  /// Returns the total size in bytes, or 0 when it is unknown.
  virtual int64_t GetTotalBytes() = 0;
  /// Returns the number of bytes received so far.
  virtual int64_t GetReceivedBytes() = 0;
  ///
  /// Returns the path the file is written to, as given to
  /// CefBeforeDownloadCallback::Continue; empty before that.
  ///
  virtual CefString GetFullPath() = 0;
  /// Returns the identifier, unique within the run of the program.
  virtual uint32_t GetId() = 0;
  /// Returns the address the file comes from.
  virtual CefString GetURL() = 0;
  /// Returns the file name that the server or the page suggested.
  virtual CefString GetSuggestedFileName() = 0;
  /// Returns the MIME type of the content.
  virtual CefString GetMimeType() = 0;
};

#endif  // CEF_INCLUDE_CEF_DOWNLOAD_ITEM_H_
