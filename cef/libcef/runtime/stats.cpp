#include "libcef/runtime/stats.h"

#include <atomic>

#include <QElapsedTimer>
#include <QSaveFile>
#include <QTimer>

#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace cef {
namespace stats {

namespace {

constexpr int kReportIntervalMs = 1000;

std::atomic<long> g_counters[kCounterCount];

// GUI thread only.
QTimer* g_timer = nullptr;
QString g_path;
QElapsedTimer g_clock;

void Write() {
  CEF_REQUIRE_GUI_THREAD();
  // The file is replaced whole, so that a reader never sees half of it.
  QSaveFile file(g_path);
  if (!file.open(QIODevice::WriteOnly))
    return;
  const QString text = QStringLiteral(
                           "uptime_ms=%1\nui_tasks=%2\ngui_tasks=%3\ndeferred_events=%4\nerror_reads=%5\n"
                           "browsers=%6\nregistered_browsers=%7\npages=%8\n")
                           .arg(g_clock.elapsed())
                           .arg(Context::PendingUiTasks())
                           .arg(Get(kGuiTasks))
                           .arg(Get(kDeferredEvents))
                           .arg(Get(kErrorReads))
                           .arg(Get(kBrowsers))
                           .arg(Get(kRegistered))
                           .arg(Get(kPages));
  file.write(text.toLatin1());
  file.commit();
}

}  // namespace

void Add(Counter counter, int delta) {
  g_counters[counter].fetch_add(delta, std::memory_order_relaxed);
}

long Get(Counter counter) {
  return g_counters[counter].load(std::memory_order_relaxed);
}

void StartReporting() {
  CEF_REQUIRE_GUI_THREAD();
  g_path = qEnvironmentVariable("CEFQT_STATS_FILE");
  if (g_path.isEmpty() || g_timer)
    return;
  g_clock.start();
  g_timer = new QTimer();
  QObject::connect(g_timer, &QTimer::timeout, &Write);
  g_timer->start(kReportIntervalMs);
  Write();
}

void StopReporting() {
  CEF_REQUIRE_GUI_THREAD();
  if (!g_timer)
    return;
  Write();
  delete g_timer;
  g_timer = nullptr;
}

}  // namespace stats
}  // namespace cef
