// A frame of a browser.
#ifndef CEF_INCLUDE_CEF_FRAME_H_
#define CEF_INCLUDE_CEF_FRAME_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_string_visitor.h"

class CefBrowser;

///
/// A frame in a browser window. This engine exposes each browser's main frame.
/// Methods may be called from any thread; loads are handed to the Qt GUI
/// thread, where the engine lives, and run asynchronously.
///
class CefFrame : public virtual CefBaseRefCounted {
 public:
  ///
  /// Returns true while the frame's browser exists.
  ///
  virtual bool IsValid() = 0;

  ///
  /// Loads |url| in this frame.
  ///
  virtual void LoadURL(const CefString& url) = 0;

  ///
  /// Shows |string_val| as this frame's document under the address |url|.
  /// Does nothing when either is empty.
  ///
  virtual void LoadString(const CefString& string_val, const CefString& url) = 0;

  ///
  /// Runs |code| in the frame's document. |script_url| and |start_line| only
  /// label errors.
  ///
  virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) = 0;

  ///
  /// Sends the frame's HTML source to |visitor| on the browser UI thread.
  ///
  virtual void GetSource(CefRefPtr<CefStringVisitor> visitor) = 0;

  ///
  /// Sends the frame's text content to |visitor| on the browser UI thread.
  ///
  virtual void GetText(CefRefPtr<CefStringVisitor> visitor) = 0;

  /// Returns true for the main frame.
  virtual bool IsMain() = 0;
  /// Returns the frame's identifier.
  virtual int64_t GetIdentifier() = 0;
  /// Returns the address of the frame's current document.
  virtual CefString GetURL() = 0;
  /// Returns the browser that this frame belongs to.
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
};

#endif  // CEF_INCLUDE_CEF_FRAME_H_
