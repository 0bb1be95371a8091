#include "libcef/engine_page.h"

#include "libcef/browser_host_impl.h"
#include "libcef/context.h"

namespace cef {

EnginePage::EnginePage(QWebEngineProfile* profile, CefRefPtr<CefClient> client, QObject* parent)
    : QWebEnginePage(profile, parent), client_(client) {}

QWebEnginePage* EnginePage::createWindow(WebWindowType type) {
  (void)type;
  Context* context = Context::Get();
  if (!context)
    return nullptr;
  // A page's window.open gets a popup browser in a window of its own, with
  // the opener's client.
  CefRefPtr<CefBrowserHostImpl> popup = new CefBrowserHostImpl(NextBrowserId(), true, client_);
  EnginePage* page = popup->CreateView(nullptr, CefRect(), CefBrowserSettings(), QUrl());
  return page;
}

}  // namespace cef
