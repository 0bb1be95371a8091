#include "screenupdates.h"

#include <poll.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <chrono>

namespace {

// Both programs put a frame out within a millisecond or two; frames come at
// least 16 ms apart on a 60 Hz screen.
constexpr auto BurstMs = std::chrono::milliseconds(5);
constexpr int PollMs = 50;

} // namespace

bool ScreenUpdates::start()
{
    return watcher.start([this](Display *display) { run(display); },
                         [this](Display *display) { return prepare(display); });
}

bool ScreenUpdates::prepare(Display *display)
{
    // The last count's thread has stopped by now.
    updates = 0;
    int error = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &error))
        return false;
    // Non-empty reports: one event each time the damage goes from none to
    // some, and the damage is emptied at once, so each update is one event.
    damage = XDamageCreate(display, DefaultRootWindow(display), XDamageReportNonEmpty);
    XFlush(display);
    return true;
}

void ScreenUpdates::run(Display *display)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point last{};
    while (!watcher.stopping()) {
        pollfd wait{ConnectionNumber(display), POLLIN, 0};
        if (!XPending(display) && poll(&wait, 1, PollMs) <= 0)
            continue;
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != damageEvent + XDamageNotify)
                continue;
            XDamageSubtract(display, damage, None, None);
            const Clock::time_point now = Clock::now();
            if (now - last > BurstMs)
                ++updates;
            last = now;
        }
        XFlush(display);
    }
    XDamageDestroy(display, damage);
}
