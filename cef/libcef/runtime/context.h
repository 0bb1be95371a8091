// The engine's runtime in the browser process, from CefInitialize to
// CefShutdown: the settings and the browser UI thread. The profile and the
// registry of live browsers belong to the engine module (see
// engine/browser_context.h and engine/browser_info_manager.h).
#ifndef CEF_LIBCEF_RUNTIME_CONTEXT_H_
#define CEF_LIBCEF_RUNTIME_CONTEXT_H_
#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>

#include "include/cef_app.h"
#include "include/cef_browser_process_handler.h"

namespace cef {

class Context {
 public:
  /// Any thread: true between CefInitialize and CefShutdown.
  static bool Initialized();

  /// Any thread: hands |task| to the Qt GUI thread. False when not running.
  static bool PostGuiTask(std::function<void()> task);
  /// Any thread: queues |task| on the browser UI thread. False when stopped.
  static bool PostUiTask(std::function<void()> task, int64_t delay_ms = 0);
  static bool CurrentlyOnUi();
  static bool CurrentlyOnGui();
  /// Any thread: tasks queued for the browser UI thread and not run yet.
  static size_t PendingUiTasks();

  // --- GUI thread only from here on.

  /// The runtime, or null outside CefInitialize..CefShutdown.
  static Context* Get();

  bool Start(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> app);
  void Shutdown();

  Context();
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // The settings the engine module makes its profile from.
  const QString& cache_path() const { return cache_path_; }
  const QString& user_agent() const { return user_agent_; }
  const QString& accept_language() const { return accept_language_; }
  bool persist_session_cookies() const { return persist_session_cookies_; }

 private:
  QString cache_path_;
  QString user_agent_;
  QString accept_language_;
  bool persist_session_cookies_ = false;
  CefRefPtr<CefApp> app_;
};

/// Any thread: the next browser identifier, unique and positive.
int NextBrowserId();

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_CONTEXT_H_
