// Callbacks about the file dialogs that pages open.
#ifndef CEF_INCLUDE_CEF_DIALOG_HANDLER_H_
#define CEF_INCLUDE_CEF_DIALOG_HANDLER_H_
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"

///
/// Answers a file dialog. Any thread.
///
class CefFileDialogCallback : public virtual CefBaseRefCounted {
 public:
  ///
  /// Hands the page |file_paths|, full paths of the files chosen.
  /// |selected_accept_filter| is the index of the filter used, or 0.
  ///
  virtual void Continue(int selected_accept_filter, const std::vector<CefString>& file_paths) = 0;
  /// Closes the dialog without a choice; so does releasing the callback unused.
  virtual void Cancel() = 0;
};

///
/// File dialog callbacks, on the browser UI thread.
///
class CefDialogHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_file_dialog_mode_t FileDialogMode;

  ///
  /// Called when a page asks for files (an <input type="file"> was clicked).
  /// |default_file_path| is a file chosen before, if any; |accept_filters|
  /// the MIME types or extensions the page accepts. Return true and answer
  /// through |callback| now or later to show a dialog of your own, false to
  /// show the engine's own dialog.
  ///
  virtual bool OnFileDialog(CefRefPtr<CefBrowser> browser,
                            FileDialogMode mode,
                            const CefString& title,
                            const CefString& default_file_path,
                            const std::vector<CefString>& accept_filters,
                            int selected_accept_filter,
                            CefRefPtr<CefFileDialogCallback> callback) {
    (void)browser;
    (void)mode;
    (void)title;
    (void)default_file_path;
    (void)accept_filters;
    (void)selected_accept_filter;
    (void)callback;
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_DIALOG_HANDLER_H_
