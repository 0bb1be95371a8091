// Callbacks about the dialogs that JavaScript opens.
#ifndef CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
#define CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

///
/// Answers a JavaScript dialog. Any thread.
///
class CefJSDialogCallback : public virtual CefBaseRefCounted {
 public:
  ///
  /// |success| is true for OK (or leaving the page), false for Cancel;
  /// |user_input| is the text of a prompt. Releasing the callback without
  /// calling Continue counts as Cancel.
  ///
  virtual void Continue(bool success, const CefString& user_input) = 0;
};

///
/// JavaScript dialog callbacks, all on the browser UI thread. The page waits
/// until the dialog is answered. Returning false uses the engine's own
/// dialogs.
///
class CefJSDialogHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_jsdialog_type_t JSDialogType;

  ///
  /// Called for alert(), confirm() and prompt(). |origin_url| is the page's
  /// origin (scheme, host and port only). Return true and answer through
  /// |callback| now or later to show a dialog of your own. Return false with
  /// |suppress_message| set to drop the dialog (the page sees Cancel), or
  /// without it to show the engine's own dialog.
  ///
  virtual bool OnJSDialog(CefRefPtr<CefBrowser> browser,
                          const CefString& origin_url,
                          JSDialogType dialog_type,
                          const CefString& message_text,
                          const CefString& default_prompt_text,
                          CefRefPtr<CefJSDialogCallback> callback,
                          bool& suppress_message) {
    (void)browser;
    (void)origin_url;
    (void)dialog_type;
    (void)message_text;
    (void)default_prompt_text;
    (void)callback;
    (void)suppress_message;
    return false;
  }

  ///
  /// Called when a page asks before it is left (onbeforeunload). Answer true
  /// through |callback| to leave the page. Return false to show the engine's
  /// own dialog. |is_reload| is true when the page is being reloaded.
  ///
  virtual bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser,
                                    const CefString& message_text,
                                    bool is_reload,
                                    CefRefPtr<CefJSDialogCallback> callback) {
    (void)browser;
    (void)message_text;
    (void)is_reload;
    (void)callback;
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_JSDIALOG_HANDLER_H_
