#include "guiprobe.h"

#include <poll.h>

#include <X11/Xlib.h>

#include <thread>

namespace {

// The pause between an answer and the next ping: short enough that a stall
// is seen from its start, long enough to cost the program nothing.
constexpr int PauseMs = 100;

int ignoreErrors(Display *, XErrorEvent *)
{
    // A window that went away between two pings is not the probe's failure.
    return 0;
}

} // namespace

bool GuiProbe::start(unsigned long window)
{
    return watcher.start([this, window](Display *display) { run(display, window); });
}

qint64 GuiProbe::takeLongestSilenceMs()
{
    std::lock_guard<std::mutex> guard(lock);
    qint64 longest = longestMs;
    if (outstandingSince != Clock::time_point{}) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - outstandingSince);
        longest = qMax<qint64>(longest, waited.count());
    }
    longestMs = 0;
    return longest;
}

void GuiProbe::run(Display *display, unsigned long window)
{
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(display);
    // Qt sends the answer to the root window for the clients that watch its
    // structure or redirect its children, Chromium for those that watch or
    // redirect its children; the window manager holds the redirect, so this
    // client watches the structure and the children.
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // The window manager pings as well; ours carry numbers it never uses.
    unsigned long serial = 0x50000000;

    while (!watcher.stopping()) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(ping);
        event.xclient.data.l[1] = long(++serial);
        event.xclient.data.l[2] = long(window);
        const Clock::time_point sent = Clock::now();
        {
            std::lock_guard<std::mutex> guard(lock);
            outstandingSince = sent;
        }
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);

        bool answeredNow = false;
        while (!watcher.stopping() && !answeredNow) {
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            ::poll(&fd, 1, 50);
            while (XPending(display)) {
                XEvent reply;
                XNextEvent(display, &reply);
                if (reply.type == ClientMessage && reply.xclient.message_type == protocols
                    && Atom(reply.xclient.data.l[0]) == ping
                    && static_cast<unsigned long>(reply.xclient.data.l[1]) == serial)
                    answeredNow = true;
            }
        }
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
        {
            std::lock_guard<std::mutex> guard(lock);
            outstandingSince = Clock::time_point{};
            if (answeredNow)
                longestMs = qMax<qint64>(longestMs, waited);
        }
        if (answeredNow)
            ++answeredCount;
        for (int slept = 0; slept < PauseMs && !watcher.stopping(); slept += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
