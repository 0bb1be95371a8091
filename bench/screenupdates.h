// How often the screen is really drawn, seen from the X server.
#ifndef BENCH_SCREENUPDATES_H
#define BENCH_SCREENUPDATES_H

#include "xthread.h"

#include <QtGlobal>

#include <atomic>

// Counts the screen's updates through the X server's DAMAGE extension, on a
// thread and an X connection of its own (XThread). A video's frame counts as shown once
// the page hands it to the compositor; whether the program then puts it on
// the screen, or only a later one, is seen here alone. A damage object on the
// root window reports drawing into any window of the screen; drawing that
// follows the last within BurstMs (in the .cpp) belongs to the same update, so
// that a frame put out in several pieces counts once. Nothing else may draw
// meanwhile. All members are called from one thread, the owner's.
class ScreenUpdates
{
public:
    // Starts counting; false when there is no X display or no DAMAGE.
    bool start();
    void stop() { watcher.stop(); }

    // Updates counted since start.
    qint64 count() const { return updates.load(); }

private:
    bool prepare(Display *display);
    void run(Display *display);

    std::atomic<qint64> updates{0};
    int damageEvent = 0;      // set by prepare, before run starts
    unsigned long damage = 0; // likewise
    // Last, so that it is destroyed first: its thread uses the members above.
    XThread watcher;
};

#endif // BENCH_SCREENUPDATES_H
