// The profile every browser uses, with the downloads and notifications that
// hang off it: created on first use, so that the heavy start of the engine
// waits until a browser is really wanted. GUI thread only.
#ifndef CEF_LIBCEF_ENGINE_BROWSER_CONTEXT_H_
#define CEF_LIBCEF_ENGINE_BROWSER_CONTEXT_H_
#pragma once

class QWebEngineProfile;

namespace cef {

class BrowserContext {
 public:
  /// GUI thread, between CefInitialize and CefShutdown: the profile, made
  /// from the settings CefInitialize was given.
  static QWebEngineProfile* Profile();
  /// GUI thread, in CefShutdown after every page: the profile goes.
  static void Release();
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_BROWSER_CONTEXT_H_
