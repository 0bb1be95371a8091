#include "x11util.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace x11 {

namespace {

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr openDisplay()
{
    return DisplayPtr(XOpenDisplay(nullptr));
}

int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

QString windowName(Display *display, Window window)
{
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    QString name;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count, &after, &data)
            == Success
        && data) {
        name = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(count));
        XFree(data);
        return name;
    }
    char *plain = nullptr;
    if (XFetchName(display, window, &plain) && plain) {
        name = QString::fromLocal8Bit(plain);
        XFree(plain);
    }
    return name;
}

void collect(Display *display, Window window, const QString &name, QList<unsigned long> *found, int depth)
{
    if (windowName(display, window) == name)
        *found << window;
    if (depth > 2)
        return;
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i)
        collect(display, children[i], name, found, depth + 1);
    if (children)
        XFree(children);
}

} // namespace

QRect screenGeometry(unsigned long window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return QRect();
    XSetErrorHandler(ignoreErrors);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display.get(), window, &attributes))
        return QRect();
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display.get(), window, DefaultRootWindow(display.get()), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

bool isViewable(unsigned long window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return false;
    XSetErrorHandler(ignoreErrors);
    XWindowAttributes attributes;
    return XGetWindowAttributes(display.get(), window, &attributes) && attributes.map_state == IsViewable;
}

QList<unsigned long> findWindows(const QString &name)
{
    QList<unsigned long> found;
    DisplayPtr display = openDisplay();
    if (!display)
        return found;
    XSetErrorHandler(ignoreErrors);
    collect(display.get(), DefaultRootWindow(display.get()), name, &found, 0);
    return found;
}

bool requestClose(unsigned long window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return false;
    XSetErrorHandler(ignoreErrors);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display.get(), window, False, NoEventMask, &event) != 0;
    XFlush(display.get());
    return sent;
}

qint64 windowPid(unsigned long window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return 0;
    XSetErrorHandler(ignoreErrors);
    const Atom pidAtom = XInternAtom(display.get(), "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    qint64 pid = 0;
    if (XGetWindowProperty(display.get(), window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data)
            == Success
        && data && count == 1)
        pid = static_cast<qint64>(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

QList<unsigned long> children(unsigned long window)
{
    QList<unsigned long> found;
    DisplayPtr display = openDisplay();
    if (!display)
        return found;
    XSetErrorHandler(ignoreErrors);
    Window root = 0;
    Window parent = 0;
    Window *list = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), window, &root, &parent, &list, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i)
        found << list[i];
    if (list)
        XFree(list);
    return found;
}

QSize screenSize()
{
    DisplayPtr display = openDisplay();
    if (!display)
        return QSize();
    const int screen = DefaultScreen(display.get());
    return QSize(DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen));
}

bool windowManagerRunning()
{
    DisplayPtr display = openDisplay();
    if (!display)
        return false;
    XSetErrorHandler(ignoreErrors);
    const Atom check = XInternAtom(display.get(), "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const bool found = XGetWindowProperty(display.get(), DefaultRootWindow(display.get()), check, 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &after, &data)
                           == Success
                       && count == 1;
    if (data)
        XFree(data);
    return found;
}

} // namespace x11
