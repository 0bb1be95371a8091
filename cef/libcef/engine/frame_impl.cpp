#include "libcef/engine/frame_impl.h"

#include <QWebEngineView>

#include "libcef/engine/engine_page.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

CefFrameImpl::CefFrameImpl(CefRefPtr<CefBrowserHostImpl> browser) : browser_(browser) {}

bool CefFrameImpl::IsValid() {
  return browser_->GetWindowHandle() != 0 && cef::Context::Initialized();
}

void CefFrameImpl::LoadURL(const CefString& url) {
  const QString text = url.ToQString();
  // On the engine's own thread the load starts at once, as CEF starts one
  // called on its UI thread: a window shown right after the call would
  // otherwise paint first.
  if (CEF_CURRENTLY_ON_GUIT()) {
    browser_->LoadURLNow(text);
    return;
  }
  CEF_POST_GUI_TASK(cef::BindOnce(&CefBrowserHostImpl::LoadURLNow, browser_.get(), text));
}

void CefFrameImpl::LoadString(const CefString& string_val, const CefString& url) {
  if (string_val.empty() || url.empty())
    return;
  CEF_POST_GUI_TASK(
      cef::BindOnce(&CefBrowserHostImpl::LoadStringNow, browser_.get(), string_val.ToQString(), url.ToQString()));
}

void CefFrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) {
  (void)script_url;
  (void)start_line;
  CEF_POST_GUI_TASK(cef::BindOnce(&CefFrameImpl::ExecuteJavaScriptNow, this, code.ToQString()));
}

void CefFrameImpl::ExecuteJavaScriptNow(const QString& script) {
  browser_->WithView([&](QWebEngineView*, cef::EnginePage* page) { page->runJavaScript(script); });
}

void CefFrameImpl::GetSource(CefRefPtr<CefStringVisitor> visitor) {
  if (visitor)
    CEF_POST_GUI_TASK(cef::BindOnce(&CefFrameImpl::VisitNow, this, visitor, true));
}

void CefFrameImpl::GetText(CefRefPtr<CefStringVisitor> visitor) {
  if (visitor)
    CEF_POST_GUI_TASK(cef::BindOnce(&CefFrameImpl::VisitNow, this, visitor, false));
}

void CefFrameImpl::VisitNow(CefRefPtr<CefStringVisitor> visitor, bool html) {
  CefRefPtr<CefBrowserHostImpl> browser = browser_;
  browser->WithView([&](QWebEngineView*, cef::EnginePage* page) {
    auto deliver = [browser, visitor](const QString& text) {
      browser->Deliver([visitor, text](CefRefPtr<CefBrowserHostImpl>) { visitor->Visit(CefString(text)); });
    };
    if (html)
      page->toHtml(deliver);
    else
      page->toPlainText(deliver);
  });
}

int64_t CefFrameImpl::GetIdentifier() {
  // One frame per browser, so the browser's identifier serves.
  return browser_->GetIdentifier();
}

CefString CefFrameImpl::GetURL() {
  return CefString(browser_->CurrentUrl());
}
