// Counts of what the engine layer is holding: work queued for the browser UI
// thread and for the Qt GUI thread, events held back behind an error read,
// and the browser objects and engine pages alive. A long unattended run reads
// them to see that nothing piles up. They are written, once a second, to the
// file that CEFQT_STATS_FILE names, and only when that variable is set.
#ifndef CEF_LIBCEF_RUNTIME_STATS_H_
#define CEF_LIBCEF_RUNTIME_STATS_H_
#pragma once

namespace cef {
namespace stats {

enum Counter {
  kGuiTasks,        // posted to the GUI thread, not run yet
  kDeferredEvents,  // held back until a failed load's error has been read
  kErrorReads,      // failed loads whose error is being read
  kBrowsers,        // browser objects alive
  kRegistered,      // browsers in the registry of open browsers
  kPages,           // engine pages alive
  kCounterCount
};

/// Any thread: changes |counter| by |delta|.
void Add(Counter counter, int delta);

/// Any thread: the current value of |counter|.
long Get(Counter counter);

///
/// GUI thread: starts writing the counters when CEFQT_STATS_FILE is set, and
/// stops. StopReporting writes a last snapshot.
///
void StartReporting();
void StopReporting();

}  // namespace stats
}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_STATS_H_
