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

ScreenUpdates::~ScreenUpdates()
{
    stop();
}

bool ScreenUpdates::start()
{
    stop();
    Display *x = XOpenDisplay(nullptr);
    if (!x)
        return false;
    int error = 0;
    if (!XDamageQueryExtension(x, &damageEvent, &error)) {
        XCloseDisplay(x);
        return false;
    }
    display = x;
    stopping = false;
    updates = 0;
    thread = std::thread(&ScreenUpdates::run, this);
    return true;
}

void ScreenUpdates::stop()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
    if (display)
        XCloseDisplay(static_cast<Display *>(display));
    display = nullptr;
}

void ScreenUpdates::run()
{
    using Clock = std::chrono::steady_clock;
    Display *x = static_cast<Display *>(display);
    // Non-empty reports: one event each time the damage goes from none to
    // some, and the damage is emptied at once, so each update is one event.
    const Damage damage = XDamageCreate(x, DefaultRootWindow(x), XDamageReportNonEmpty);
    XFlush(x);
    Clock::time_point last{};
    while (!stopping) {
        pollfd wait{ConnectionNumber(x), POLLIN, 0};
        if (!XPending(x) && poll(&wait, 1, PollMs) <= 0)
            continue;
        while (XPending(x)) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type != damageEvent + XDamageNotify)
                continue;
            XDamageSubtract(x, damage, None, None);
            const Clock::time_point now = Clock::now();
            if (now - last > BurstMs)
                ++updates;
            last = now;
        }
        XFlush(x);
    }
    XDamageDestroy(x, damage);
}
