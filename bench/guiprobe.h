// How quickly a program's GUI thread answers, seen from outside.
#ifndef BENCH_GUIPROBE_H
#define BENCH_GUIPROBE_H

#include "xthread.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <mutex>

// Sends the window manager's _NET_WM_PING to a top-level window again and
// again, each as soon as the last was answered (and a short pause), on a
// thread and an X connection of its own. Qt answers the ping from its event
// loop on the GUI thread, so the wait for an answer is how long that thread
// was busy. All members are called from one thread, the owner's.
class GuiProbe
{
public:
    // Starts pinging |window|; false when there is no X display.
    bool start(unsigned long window);
    void stop() { watcher.stop(); }

    // The longest wait for an answer since the last call, a ping still
    // unanswered counted as far as it has got, in milliseconds.
    qint64 takeLongestSilenceMs();
    // Pings answered so far.
    qint64 answered() const { return answeredCount.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void run(Display *display, unsigned long window);

    std::atomic<qint64> answeredCount{0};
    std::mutex lock; // Guards the two below.
    qint64 longestMs = 0;
    Clock::time_point outstandingSince{};
    // Last, so that it is destroyed first: its thread uses the members above.
    XThread watcher;
};

#endif // BENCH_GUIPROBE_H
