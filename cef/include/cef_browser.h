// Browsers and their hosts.
#ifndef CEF_INCLUDE_CEF_BROWSER_H_
#define CEF_INCLUDE_CEF_BROWSER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_frame.h"
#include "include/cef_request_context.h"

class CefBrowserHost;
class CefClient;

///
/// A browser window. Methods may be called from any thread: the identity
/// (GetIdentifier, IsPopup, IsSame) is fixed, the navigation state is the last
/// one the engine reported, and commands are handed to the Qt GUI thread and
/// run asynchronously.
///
class CefBrowser : public virtual CefBaseRefCounted {
 public:
  /// Returns the browser host object.
  virtual CefRefPtr<CefBrowserHost> GetHost() = 0;
  virtual bool CanGoBack() = 0;
  virtual void GoBack() = 0;
  virtual bool CanGoForward() = 0;
  virtual void GoForward() = 0;
  virtual bool IsLoading() = 0;
  ///
  /// Loads the current page again. After the render process died before the
  /// page being loaded arrived, loads that page instead of the one before.
  /// A page loaded with CefFrame::LoadString, such as an error page, loads
  /// the address it was given under instead.
  ///
  virtual void Reload() = 0;
  /// Reloads without using cached data.
  virtual void ReloadIgnoreCache() = 0;
  /// Stops loading; the load ends with ERR_ABORTED.
  virtual void StopLoad() = 0;
  /// Returns the identifier: unique and positive.
  virtual int GetIdentifier() = 0;
  /// Returns true if |that| is the same browser.
  virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
  /// Returns true for a window opened by a page.
  virtual bool IsPopup() = 0;
  virtual bool HasDocument() = 0;
  virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
};

///
/// The browser seen from the embedding application.
///
class CefBrowserHost : public virtual CefBaseRefCounted {
 public:
  ///
  /// Asks for a new browser in the window described by |windowInfo|, showing
  /// |url|, reporting to |client|. Returns at once, true when the request was
  /// accepted; the browser is created on the Qt GUI thread and
  /// CefLifeSpanHandler::OnAfterCreated follows on the browser UI thread. A
  /// parent window that no longer exists when the request runs gets no
  /// browser. |request_context| must be null (the global context). Any thread.
  ///
  static bool CreateBrowser(const CefWindowInfo& windowInfo,
                            CefRefPtr<CefClient> client,
                            const CefString& url,
                            const CefBrowserSettings& settings,
                            CefRefPtr<CefRequestContext> request_context);

  /// Returns the hosted browser.
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;

  ///
  /// Starts the close sequence: CefLifeSpanHandler::DoClose on the browser UI
  /// thread; if that returns false the browser's top-level window is closed,
  /// the browser goes away and OnBeforeClose follows. With |force_close| the
  /// browser goes even when its window refuses to close. A call while a close
  /// runs only upgrades it to a forced one; once a close has been taken over
  /// by the client or refused by the window, the next call tries again. Calls
  /// after OnBeforeClose do nothing.
  ///
  virtual void CloseBrowser(bool force_close) = 0;

  ///
  /// Returns the browser's native window, or 0 before it exists.
  ///
  virtual CefWindowHandle GetWindowHandle() = 0;

  /// Returns the client of this browser.
  virtual CefRefPtr<CefClient> GetClient() = 0;

  ///
  /// Gives the browser the keyboard focus, or takes it away.
  ///
  virtual void SetFocus(bool focus) = 0;

  ///
  /// Returns the zoom level: 0.0 is 100%, and each step of 1.0 up or down
  /// scales the page by 1.2 more or less. Any thread; off the Qt GUI thread
  /// it is the level last set or zoomed to.
  ///
  virtual double GetZoomLevel() = 0;

  ///
  /// Sets the zoom level; 0.0 resets it to 100%. Levels beyond 25% or 500%
  /// are held at those bounds. Any thread; applied asynchronously on the Qt
  /// GUI thread, while GetZoomLevel answers the new level at once.
  ///
  virtual void SetZoomLevel(double zoomLevel) = 0;

  ///
  /// Zooms one of Chromium's preset steps (25%, 33%, 50%, 67%, 75%, 80%,
  /// 90%, 100%, 110%, 125%, 150%, 175%, 200%, 250%, 300%, 400%, 500%) in or
  /// out from the present zoom, or back to 100%. Any thread; asynchronous.
  ///
  virtual void Zoom(cef_zoom_command_t command) = 0;
};

#endif  // CEF_INCLUDE_CEF_BROWSER_H_
