#include "libcef/engine/frame_impl.h"

#include <QWebEngineView>

#include "libcef/engine/engine_page.h"
#include "libcef/runtime/context.h"

CefFrameImpl::CefFrameImpl(CefRefPtr<CefBrowserHostImpl> browser) : browser_(browser) {}

bool CefFrameImpl::IsValid() {
  return browser_->GetWindowHandle() != 0 && cef::Context::Initialized();
}

void CefFrameImpl::LoadURL(const CefString& url) {
  CefRefPtr<CefBrowserHostImpl> browser = browser_;
  const QString text = url.ToQString();
  // On the engine's own thread the load starts at once, as CEF starts one
  // called on its UI thread: a window shown right after the call would
  // otherwise paint first.
  if (cef::Context::CurrentlyOnGui()) {
    browser->LoadURLNow(text);
    return;
  }
  cef::Context::PostGuiTask([browser, text] { browser->LoadURLNow(text); });
}

void CefFrameImpl::LoadString(const CefString& string_val, const CefString& url) {
  if (string_val.empty() || url.empty())
    return;
  CefRefPtr<CefBrowserHostImpl> browser = browser_;
  const QString content = string_val.ToQString();
  const QString address = url.ToQString();
  cef::Context::PostGuiTask([browser, content, address] { browser->LoadStringNow(content, address); });
}

void CefFrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) {
  (void)script_url;
  (void)start_line;
  CefRefPtr<CefBrowserHostImpl> browser = browser_;
  const QString script = code.ToQString();
  cef::Context::PostGuiTask([browser, script] {
    browser->WithView([&](QWebEngineView*, cef::EnginePage* page) { page->runJavaScript(script); });
  });
}

void CefFrameImpl::GetSource(CefRefPtr<CefStringVisitor> visitor) {
  Visit(visitor, true);
}

void CefFrameImpl::GetText(CefRefPtr<CefStringVisitor> visitor) {
  Visit(visitor, false);
}

void CefFrameImpl::Visit(CefRefPtr<CefStringVisitor> visitor, bool html) {
  if (!visitor)
    return;
  CefRefPtr<CefBrowserHostImpl> browser = browser_;
  cef::Context::PostGuiTask([browser, visitor, html] {
    browser->WithView([&](QWebEngineView*, cef::EnginePage* page) {
      auto deliver = [browser, visitor](const QString& text) {
        browser->Deliver([visitor, text] { visitor->Visit(CefString(text)); });
      };
      if (html)
        page->toHtml(deliver);
      else
        page->toPlainText(deliver);
    });
  });
}

int64_t CefFrameImpl::GetIdentifier() {
  // One frame per browser, so the browser's identifier serves.
  return browser_->GetIdentifier();
}

CefString CefFrameImpl::GetURL() {
  return CefString(browser_->CurrentUrl());
}
