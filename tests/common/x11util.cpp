#include "x11util.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <QSet>

#include <algorithm>
#include <functional>
#include <memory>

namespace x11 {

namespace {

int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

// One connection for the run, opened anew when a test moves to another
// display. The old one is left open: its X server may be gone, and closing a
// connection to a vanished server is a fatal I/O error in Xlib. Windows come
// and go while they are looked at, so errors about vanished ones are
// expected and ignored. GUI thread only.
Display *display()
{
    static Display *open = nullptr;
    static QByteArray name;
    const QByteArray wanted = qgetenv("DISPLAY");
    if (!open || wanted != name) {
        open = XOpenDisplay(nullptr);
        name = wanted;
        XSetErrorHandler(ignoreErrors);
    }
    return open;
}

// The items of a window property, as XGetWindowProperty returns them (longs
// for 32-bit formats), or nothing when it is not set.
QByteArray property(Display *display, Window window, const char *name, Atom type, unsigned long *items = nullptr)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    QByteArray value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type, &actualType,
                           &format, &count, &after, &data)
            == Success
        && data) {
        const int itemSize = format == 32 ? int(sizeof(long)) : format / 8;
        value = QByteArray(reinterpret_cast<const char *>(data), int(count) * itemSize);
    }
    if (data)
        XFree(data);
    if (items)
        *items = count;
    return value;
}

QString windowName(Display *display, Window window)
{
    const QByteArray name = property(display, window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
    if (!name.isNull())
        return QString::fromUtf8(name);
    QString plainName;
    char *plain = nullptr;
    if (XFetchName(display, window, &plain) && plain) {
        plainName = QString::fromLocal8Bit(plain);
        XFree(plain);
    }
    return plainName;
}

// Windows near the top of the tree (a window manager puts frames around
// top-level windows) that |accept| takes.
void collect(Display *display, Window window, const std::function<bool(Window)> &accept, QList<unsigned long> *found,
             int depth)
{
    if (accept(window))
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
        collect(display, children[i], accept, found, depth + 1);
    if (children)
        XFree(children);
}

} // namespace

QRect screenGeometry(unsigned long window)
{
    Display *const d = display();
    if (!d)
        return QRect();
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, window, &attributes))
        return QRect();
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

QImage grab(unsigned long window, const QRect &rect)
{
    Display *const d = display();
    const QRect area = rect.translated(screenGeometry(window).topLeft());
    XImage *image = d ? XGetImage(d, DefaultRootWindow(d), area.x(), area.y(), unsigned(area.width()),
                                  unsigned(area.height()), AllPlanes, ZPixmap)
                      : nullptr;
    // A screen of depth 24 keeps 32-bit pixels, as QImage's RGB32 does.
    const QImage grabbed = image && image->bits_per_pixel == 32
        ? QImage(reinterpret_cast<uchar *>(image->data), area.width(), area.height(), image->bytes_per_line,
                 QImage::Format_RGB32).copy()
        : QImage();
    if (image)
        XDestroyImage(image);
    return grabbed;
}

bool isViewable(unsigned long window)
{
    Display *const d = display();
    if (!d)
        return false;
    XWindowAttributes attributes;
    return XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable;
}

QString describe(unsigned long window)
{
    const QRect geometry = screenGeometry(window);
    return QStringLiteral("0x%1 %2x%3+%4+%5 %6")
        .arg(window, 0, 16)
        .arg(geometry.width())
        .arg(geometry.height())
        .arg(geometry.x())
        .arg(geometry.y())
        .arg(isViewable(window) ? QStringLiteral("viewable") : QStringLiteral("unviewable"));
}

QList<unsigned long> findWindows(const QString &name)
{
    QList<unsigned long> found;
    Display *const d = display();
    if (!d)
        return found;
    collect(d, DefaultRootWindow(d), [d, &name](Window window) { return windowName(d, window) == name; }, &found, 0);
    return found;
}

QList<unsigned long> viewableWindowsOf(qint64 pid)
{
    QList<unsigned long> found;
    Display *const d = display();
    if (!d)
        return found;
    collect(
        d, DefaultRootWindow(d),
        [d, pid](Window window) {
            // Top-level windows carry the state the window manager gives them.
            const Atom state = XInternAtom(d, "WM_STATE", False);
            const QByteArray owner = property(d, window, "_NET_WM_PID", XA_CARDINAL);
            XWindowAttributes attributes;
            return owner.size() == int(sizeof(long)) && !property(d, window, "WM_STATE", state).isNull() && *reinterpret_cast<const long *>(owner.constData()) == pid
                && XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable;
        },
        &found, 0);
    return found;
}

bool requestClose(unsigned long window)
{
    Display *const d = display();
    if (!d)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, window, False, NoEventMask, &event) != 0;
    XFlush(d);
    return sent;
}

qint64 windowPid(unsigned long window)
{
    Display *const d = display();
    if (!d)
        return 0;
    const QByteArray pid = property(d, window, "_NET_WM_PID", XA_CARDINAL);
    return pid.size() == int(sizeof(long)) ? qint64(*reinterpret_cast<const long *>(pid.constData())) : 0;
}

bool hasState(unsigned long window, const char *state)
{
    Display *const d = display();
    if (!d)
        return false;
    unsigned long count = 0;
    const QByteArray states = property(d, window, "_NET_WM_STATE", XA_ATOM, &count);
    const Atom wanted = XInternAtom(d, state, False);
    const long *atoms = reinterpret_cast<const long *>(states.constData());
    return std::find(atoms, atoms + count, long(wanted)) != atoms + count;
}

QList<unsigned long> children(unsigned long window)
{
    QList<unsigned long> found;
    Display *const d = display();
    if (!d)
        return found;
    Window root = 0;
    Window parent = 0;
    Window *list = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, window, &root, &parent, &list, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i)
        found << list[i];
    if (list)
        XFree(list);
    return found;
}

QSize screenSize()
{
    Display *const d = display();
    if (!d)
        return QSize();
    const int screen = DefaultScreen(d);
    return QSize(DisplayWidth(d, screen), DisplayHeight(d, screen));
}

int screenScale()
{
    Display *const d = display();
    if (!d)
        return 1;
    const int screen = DefaultScreen(d);
    const int millimetres = DisplayWidthMM(d, screen);
    const double dpi = millimetres > 0 ? DisplayWidth(d, screen) * 25.4 / millimetres : 96;
    return qMax(1, qRound(dpi / 96));
}

bool windowManagerRunning()
{
    Display *const d = display();
    if (!d)
        return false;
    unsigned long items = 0;
    property(d, DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, &items);
    return items == 1;
}

bool giveKeysTo(const QString &text)
{
    QSet<uint> wanted;
    for (const uint ucs : text.toUcs4()) {
        if (ucs > 0x7e)
            wanted.insert(ucs);
    }
    if (wanted.isEmpty())
        return true;
    Display *const d = display();
    if (!d)
        return false;
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(d, &minCode, &maxCode);
    int perCode = 0;
    KeySym *map = XGetKeyboardMapping(d, KeyCode(minCode), maxCode - minCode + 1, &perCode);
    auto next = wanted.cbegin();
    for (int code = minCode; code <= maxCode && next != wanted.cend(); ++code) {
        const KeySym *syms = map + (code - minCode) * perCode;
        if (std::all_of(syms, syms + perCode, [](KeySym sym) { return sym == NoSymbol; })) {
            // Latin-1 has keysyms of the same number; the rest of Unicode
            // is offset.
            const uint ucs = *next++;
            KeySym sym = KeySym(ucs <= 0xff ? ucs : 0x1000000 + ucs);
            XChangeKeyboardMapping(d, code, 1, &sym, 1);
        }
    }
    XFree(map);
    XSync(d, False);
    return next == wanted.cend();
}

} // namespace x11
