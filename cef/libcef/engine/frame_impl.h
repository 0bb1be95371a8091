// The main frame of a browser.
#ifndef CEF_LIBCEF_ENGINE_FRAME_IMPL_H_
#define CEF_LIBCEF_ENGINE_FRAME_IMPL_H_
#pragma once

#include <QString>

#include "include/cef_frame.h"
#include "libcef/engine/browser_host_impl.h"

///
/// A browser's main frame. Any thread; every command is handed to the Qt GUI
/// thread and runs asynchronously.
///
class CefFrameImpl : public CefFrame {
 public:
  explicit CefFrameImpl(CefRefPtr<CefBrowserHostImpl> browser);

  // CefFrame methods.
  bool IsValid() override;
  void LoadURL(const CefString& url) override;
  void LoadString(const CefString& string_val, const CefString& url) override;
  void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) override;
  void GetSource(CefRefPtr<CefStringVisitor> visitor) override;
  void GetText(CefRefPtr<CefStringVisitor> visitor) override;
  bool IsMain() override { return true; }
  int64_t GetIdentifier() override;
  CefString GetURL() override;
  CefRefPtr<CefBrowser> GetBrowser() override { return browser_.get(); }

 private:
  // GUI thread.
  void ExecuteJavaScriptNow(const QString& script);
  void VisitNow(CefRefPtr<CefStringVisitor> visitor, bool html);

  const CefRefPtr<CefBrowserHostImpl> browser_;

  IMPLEMENT_REFCOUNTING(CefFrameImpl);
  DISALLOW_COPY_AND_ASSIGN(CefFrameImpl);
};

#endif  // CEF_LIBCEF_ENGINE_FRAME_IMPL_H_
