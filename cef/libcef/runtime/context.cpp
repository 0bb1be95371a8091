#include "libcef/runtime/context.h"

#include <atomic>
#include <mutex>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include "libcef/runtime/backend.h"
#include "libcef/runtime/first_frame_gate.h"
#include "libcef/runtime/stats.h"
#include "libcef/runtime/thread_util.h"
#include "libcef/runtime/ui_thread.h"

void CefSetGlobalCommandLine(int argc, const char* const* argv);

namespace cef {

namespace {

// Guards the two pointers below. Posting happens under it so that neither the
// GUI target nor the UI thread can be destroyed while a task is being posted.
std::mutex g_lock;
QObject* g_gui_target = nullptr;
UiThread* g_ui_thread = nullptr;
Context* g_context = nullptr;  // GUI thread only
std::atomic<int> g_next_browser_id{1};

QByteArray LogLevelSwitch(cef_log_severity_t severity) {
  switch (severity) {
    case LOGSEVERITY_DISABLE:
    case LOGSEVERITY_FATAL:
      return "--log-level=3";
    case LOGSEVERITY_ERROR:
      return "--log-level=2";
    case LOGSEVERITY_WARNING:
      return "--log-level=1";
    case LOGSEVERITY_VERBOSE:
    case LOGSEVERITY_INFO:
      return "--log-level=0";
    case LOGSEVERITY_DEFAULT:
      break;
  }
  return QByteArray();
}

QString ToAbsolutePath(const cef_string_t& path) {
  const QString text = CefString(&path).ToQString();
  return text.isEmpty() ? QString() : QDir::current().absoluteFilePath(text);
}

}  // namespace

int NextBrowserId() {
  return g_next_browser_id.fetch_add(1);
}

bool Context::Initialized() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_ui_thread != nullptr;
}

bool Context::PostGuiTask(std::function<void()> task) {
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_gui_target)
    return false;
  stats::Add(stats::kGuiTasks, 1);
  const bool posted = QMetaObject::invokeMethod(
      g_gui_target,
      [task = std::move(task)] {
        // The task was moved in here while the poster held g_lock. Taking it
        // orders that before the call for ThreadSanitizer, which cannot see
        // the ordering Qt's own event queue gives.
        { std::lock_guard<std::mutex> guard(g_lock); }
        stats::Add(stats::kGuiTasks, -1);
        task();
      },
      Qt::QueuedConnection);
  if (!posted)
    stats::Add(stats::kGuiTasks, -1);
  return posted;
}

bool Context::PostUiTask(std::function<void()> task, int64_t delay_ms) {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_ui_thread && g_ui_thread->Post(std::move(task), delay_ms);
}

size_t Context::PendingUiTasks() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_ui_thread ? g_ui_thread->PendingCount() : 0;
}

bool Context::CurrentlyOnUi() {
  return UiThread::CurrentlyOn();
}

bool Context::CurrentlyOnGui() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

Context* Context::Get() {
  return g_context;
}

Context::Context() = default;

Context::~Context() = default;

bool Context::Start(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> app) {
  app_ = app;
  CefSetGlobalCommandLine(args.argc, args.argv);

  // The engine core reads these when it starts, which is when the first
  // browser is created; setting them now is early enough.
  const QString helper = ToAbsolutePath(settings.browser_subprocess_path);
  qputenv("QTWEBENGINEPROCESS_PATH",
          QFile::encodeName(helper.isEmpty() ? QCoreApplication::applicationFilePath() : helper));

  QList<QByteArray> flags;
  const QByteArray existing = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
  if (!existing.isEmpty())
    flags << existing;
  if (settings.no_sandbox)
    flags << "--no-sandbox";
  const QByteArray log_level = LogLevelSwitch(settings.log_severity);
  if (!log_level.isEmpty())
    flags << log_level;
  if (settings.remote_debugging_port > 0)
    qputenv("QTWEBENGINE_REMOTE_DEBUGGING", QByteArray::number(settings.remote_debugging_port));

  // Switches that the application adds to the command line reach the engine
  // through its flags variable. As in CEF, the application changes the
  // global command line, which the layer reads later on.
  if (app_) {
    CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
    CefCommandLine::SwitchMap before;
    command_line->GetSwitches(before);
    app_->OnBeforeCommandLineProcessing(CefString(), command_line);
    CefCommandLine::SwitchMap after;
    command_line->GetSwitches(after);
    for (const auto& entry : after) {
      const auto old = before.find(entry.first);
      if (old != before.end() && old->second == entry.second)
        continue;
      QByteArray flag = "--" + QByteArray::fromStdString(entry.first.ToString());
      if (!entry.second.empty())
        flag += "=" + QByteArray::fromStdString(entry.second.ToString());
      flags << flag;
    }
  }
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.join(' '));

  // Qt would keep compiled shaders under the home directory; the engine
  // keeps nothing there.
  QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);

  cache_path_ = ToAbsolutePath(settings.cache_path);
  user_agent_ = CefString(&settings.user_agent).ToQString();
  accept_language_ = CefString(&settings.accept_language_list).ToQString();
  persist_session_cookies_ = settings.persist_session_cookies != 0;

  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_gui_target = new QObject();
    g_ui_thread = new UiThread();
  }
  g_context = this;
  stats::StartReporting();

  CefRefPtr<CefBrowserProcessHandler> handler = app_ ? app_->GetBrowserProcessHandler() : nullptr;
  if (handler)
    PostUiTask([handler] { handler->OnContextInitialized(); });
  return true;
}

void Context::Shutdown() {
  CEF_REQUIRE_GUI_THREAD();
  stats::StopReporting();
  // Without the engine module there were never any browsers.
  Backend* backend = LoadedBackend();
  if (backend)
    backend->CloseAllBrowsers();

  UiThread* ui_thread = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    ui_thread = g_ui_thread;
  }
  // Drain outside the lock: the last tasks may still post.
  if (ui_thread)
    ui_thread->StopAndJoin();

  QObject* gui_target = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_ui_thread = nullptr;
    gui_target = g_gui_target;
    g_gui_target = nullptr;
  }
  delete ui_thread;
  delete gui_target;
  g_context = nullptr;
  FirstFrameGate::Reset();

  if (backend)
    backend->ReleaseProfile();
  app_ = nullptr;
}

}  // namespace cef

bool CefInitialize(const CefMainArgs& args,
                   const CefSettings& settings,
                   CefRefPtr<CefApp> application,
                   void* windows_sandbox_info) {
  (void)windows_sandbox_info;
  if (cef::Context::Get() || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
      !cef::Context::CurrentlyOnGui())
    return false;
  cef::Context* context = new cef::Context();
  if (!context->Start(args, settings, application)) {
    delete context;
    return false;
  }
  return true;
}

void CefShutdown() {
  cef::Context* context = cef::Context::Get();
  if (!context || !cef::Context::CurrentlyOnGui())
    return;
  context->Shutdown();
  delete context;
}
