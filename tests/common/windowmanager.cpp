#include "windowmanager.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <X11/Xlib.h>

namespace windowmanager {

namespace {

// A managed window sits in the window manager's frame, not on the root.
bool managed(Display *display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return false;
    if (children)
        XFree(children);
    return parent != root;
}

} // namespace

bool start(QProcess &process)
{
    process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!process.waitForStarted())
        return false;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    QElapsedTimer waited;
    waited.start();
    bool ready = false;
    // A map request that reaches openbox too early is lost: ask again.
    while (!ready && waited.elapsed() < 20000 && process.state() == QProcess::Running) {
        XMapWindow(display, probe);
        XSync(display, False);
        ready = QTest::qWaitFor([&] { return managed(display, probe); }, 1000);
        if (!ready) {
            XUnmapWindow(display, probe);
            XSync(display, False);
        }
    }
    XDestroyWindow(display, probe);
    XCloseDisplay(display);
    return ready;
}

} // namespace windowmanager
