#include "xprobe.h"

#include <QElapsedTimer>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// Windows come and go while they are looked at; errors about vanished ones
// are expected.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

bool cardinalProperty(Display *display, Window window, Atom property, unsigned long *value)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const bool ok = XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                                       &after, &data)
                        == Success
                    && data && count == 1 && format == 32;
    if (ok)
        *value = *reinterpret_cast<unsigned long *>(data);
    if (data)
        XFree(data);
    return ok;
}

QString windowName(Display *display, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    QString name;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after, &data)
            == Success
        && data) {
        name = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(count));
    }
    if (data)
        XFree(data);
    return name;
}

} // namespace

XProbe::XProbe()
    : display_(XOpenDisplay(nullptr))
{
    XSetErrorHandler(ignoreErrors);
}

XProbe::~XProbe()
{
    if (display_)
        XCloseDisplay(display_);
}

unsigned long XProbe::findWindow(qint64 pid, const QString &name, const QSize &size)
{
    return search(DefaultRootWindow(display_), pid, name, size, 0);
}

unsigned long XProbe::search(unsigned long window, qint64 pid, const QString &name, const QSize &size, int depth)
{
    unsigned long owner = 0;
    if (depth > 0 && cardinalProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), &owner)
        && static_cast<qint64>(owner) == pid) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable
            && QSize(attributes.width, attributes.height) == size && windowName(display_, window) == name)
            return window;
        return 0;
    }
    // Top-level windows sit below the root, or one level further down in a
    // window manager's frame.
    if (depth >= 2)
        return 0;
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count))
        return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        found = search(children[i], pid, name, size, depth + 1);
    if (children)
        XFree(children);
    return found;
}

bool XProbe::showsColour(unsigned long window, unsigned int rgb, int minShare)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    return bandShowsColour(window, 0, 0, attributes.width, qMin(attributes.height, 16), rgb, minShare);
}

bool XProbe::screenShowsColour(unsigned int rgb, int minShare)
{
    const int screen = DefaultScreen(display_);
    const int width = DisplayWidth(display_, screen);
    const int height = DisplayHeight(display_, screen);
    return bandShowsColour(DefaultRootWindow(display_), width / 2 - 64, height * 7 / 8, 128, 8, rgb, minShare);
}

bool XProbe::bandShowsColour(unsigned long window, int x, int y, int width, int height, unsigned int rgb,
                             int minShare)
{
    XImage *image = XGetImage(display_, window, x, y, static_cast<unsigned int>(width),
                              static_cast<unsigned int>(height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    long matching = 0;
    long total = 0;
    for (int row = 0; row < image->height; ++row) {
        for (int column = 0; column < image->width; ++column) {
            ++total;
            if ((XGetPixel(image, column, row) & 0xffffff) == rgb)
                ++matching;
        }
    }
    XDestroyImage(image);
    return total > 0 && matching * 100 >= total * minShare;
}

bool XProbe::moveTo(unsigned long window, const QPoint &pos)
{
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, window, DefaultRootWindow(display_), pos.x(), pos.y(), &x, &y, &child))
        return false;
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
    return true;
}

void XProbe::click()
{
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XFlush(display_);
}

bool XProbe::windowManagerRunning()
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const bool found = XGetWindowProperty(display_, DefaultRootWindow(display_),
                                          XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &after, &data)
                           == Success
                       && count == 1;
    if (data)
        XFree(data);
    return found;
}

bool XProbe::waitForWindowManager(int timeoutMs)
{
    const Window root = DefaultRootWindow(display_);
    const Window probe = XCreateSimpleWindow(display_, root, 0, 0, 10, 10, 0, 0, 0);
    const auto managed = [&] {
        Window rootReturn = 0;
        Window parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, probe, &rootReturn, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        return parent != root;
    };
    QElapsedTimer waited;
    waited.start();
    bool ready = false;
    while (!ready && waited.elapsed() < timeoutMs) {
        XMapWindow(display_, probe);
        XSync(display_, False);
        // A map request that reached the manager too early is lost: ask again.
        for (int i = 0; i < 100 && !(ready = managed()); ++i)
            QThread::msleep(10);
        if (!ready) {
            XUnmapWindow(display_, probe);
            XSync(display_, False);
        }
    }
    XDestroyWindow(display_, probe);
    XSync(display_, False);
    return ready;
}
