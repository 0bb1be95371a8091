// CefBrowserHost::CreateBrowser: any thread. The browser itself is made by
// the engine module, on the GUI thread, once the windows just shown have
// painted.
#include "include/cef_browser.h"
#include "libcef/runtime/backend.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/first_frame_gate.h"

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo,
                                   CefRefPtr<CefClient> client,
                                   const CefString& url,
                                   const CefBrowserSettings& settings,
                                   CefRefPtr<CefRequestContext> request_context) {
  if (!client || request_context || windowInfo.windowless_rendering_enabled)
    return false;
  const CefWindowInfo info = windowInfo;
  const CefBrowserSettings browser_settings = settings;
  const QString address = url.ToQString();
  const int id = cef::NextBrowserId();
  return cef::Context::PostGuiTask([info, client, address, browser_settings, id] {
    // The engine module is loaded here, once the windows have painted.
    cef::FirstFrameGate::RunAfterFirstFrames([info, client, address, browser_settings, id] {
      if (!cef::Context::Get())
        return;
      if (cef::Backend* backend = cef::GetBackend())
        backend->CreateBrowser(info, client, address, browser_settings, id);
    });
  });
}
