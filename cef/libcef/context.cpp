#include "libcef/context.h"

#include <atomic>
#include <mutex>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "include/cef_browser.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_closure_task.h"
#include "libcef/backend.h"
#include "libcef/stats.h"
#include "libcef/ui_thread.h"

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

class ClosureTask : public CefTask {
 public:
  explicit ClosureTask(std::function<void()> closure) : closure_(std::move(closure)) {}
  void Execute() override {
    if (closure_)
      closure_();
  }

 private:
  std::function<void()> closure_;
  IMPLEMENT_REFCOUNTING(ClosureTask);
};

// Holds the engine's heavy start (its profile and the first view) back until
// the windows the application has just shown have painted their first frame:
// started before, it would keep a login window blank for as long as it runs.
// Opens once and stays open. GUI thread only.
class FirstFrameGate : public QObject {
 public:
  void Run(std::function<void()> task) {
    if (open_) {
      task();
      return;
    }
    pending_.push_back(std::move(task));
    Check();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The window paints in answer to this event; look again once it has.
    if (event->type() == QEvent::Expose)
      QMetaObject::invokeMethod(this, [this] { Check(); }, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
  }

 private:
  // A window that never gets exposed, such as one shown minimized, must not
  // keep browsers from being created.
  static constexpr int kMaxWaitMs = 2000;

  void Check() {
    if (open_)
      return;
    bool waiting = false;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
      if (window->isVisible() && !window->isExposed()) {
        window->installEventFilter(this);
        watched_.push_back(window);
        waiting = true;
      }
    }
    if (!waiting) {
      Open();
      return;
    }
    if (!deadline_started_) {
      deadline_started_ = true;
      QTimer::singleShot(kMaxWaitMs, this, [this] { Open(); });
    }
  }

  void Open() {
    if (open_)
      return;
    open_ = true;
    for (const QPointer<QWindow>& window : watched_) {
      if (window)
        window->removeEventFilter(this);
    }
    watched_.clear();
    std::vector<std::function<void()>> tasks;
    tasks.swap(pending_);
    for (auto& task : tasks)
      task();
  }

  bool open_ = false;
  bool deadline_started_ = false;
  std::vector<std::function<void()>> pending_;
  std::vector<QPointer<QWindow>> watched_;
};

FirstFrameGate* g_first_frame_gate = nullptr;  // GUI thread only

}  // namespace

void RunAfterFirstFrames(std::function<void()> task) {
  if (!g_first_frame_gate)
    g_first_frame_gate = new FirstFrameGate();
  g_first_frame_gate->Run(std::move(task));
}

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
  // Requests still held back die with the runtime.
  delete g_first_frame_gate;
  g_first_frame_gate = nullptr;

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
    cef::RunAfterFirstFrames([info, client, address, browser_settings, id] {
      if (!cef::Context::Get())
        return;
      if (cef::Backend* backend = cef::GetBackend())
        backend->CreateBrowser(info, client, address, browser_settings, id);
    });
  });
}

bool CefCurrentlyOn(CefThreadId threadId) {
  return threadId == TID_UI && cef::Context::CurrentlyOnUi();
}

bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task) {
  return CefPostDelayedTask(threadId, task, 0);
}

bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64_t delay_ms) {
  if (threadId != TID_UI || !task)
    return false;
  return cef::Context::PostUiTask([task] { task->Execute(); }, delay_ms);
}

CefRefPtr<CefTask> CefCreateClosureTask(std::function<void()> closure) {
  return new cef::ClosureTask(std::move(closure));
}

bool CefPostTask(CefThreadId threadId, std::function<void()> closure) {
  return CefPostTask(threadId, CefCreateClosureTask(std::move(closure)));
}

bool CefPostDelayedTask(CefThreadId threadId, std::function<void()> closure, int64_t delay_ms) {
  return CefPostDelayedTask(threadId, CefCreateClosureTask(std::move(closure)), delay_ms);
}
