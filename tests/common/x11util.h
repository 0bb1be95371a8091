#ifndef X11UTIL_H
#define X11UTIL_H

#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

// Direct X11 access for tests that look at windows as the X server sees
// them, from outside the toolkit.
namespace x11 {

// The window's rectangle in root (screen) coordinates, or an empty rectangle.
QRect screenGeometry(unsigned long window);

// What the screen shows of |rect|, in |window|'s coordinates, or a null image.
QImage grab(unsigned long window, const QRect &rect);

// True when the window is mapped and all its ancestors are too.
bool isViewable(unsigned long window);

// "0x2a00005 1280x1005+0+19 viewable", for failure messages.
QString describe(unsigned long window);

// Top-level windows whose name (_NET_WM_NAME or WM_NAME) equals |name|.
QList<unsigned long> findWindows(const QString &name);

// Viewable top-level windows of the process |pid| (_NET_WM_PID) that a
// window manager manages.
QList<unsigned long> viewableWindowsOf(qint64 pid);

// Asks the window to close, as a window manager does when the user clicks
// its close button (WM_DELETE_WINDOW).
bool requestClose(unsigned long window);

// The process that owns |window| (_NET_WM_PID), or 0.
qint64 windowPid(unsigned long window);

// True when the window manager has given the window |state|, such as
// "_NET_WM_STATE_DEMANDS_ATTENTION", in _NET_WM_STATE.
bool hasState(unsigned long window, const char *state);

// The direct children of |window|, bottom to top.
QList<unsigned long> children(unsigned long window);

// The size of the default screen.
QSize screenSize();

// The factor by which Qt scales windows on the default screen: its dots per
// inch over 96, rounded, at least 1.
int screenScale();

// True when a window manager has announced itself on the root window.
bool windowManagerRunning();

// Gives every character of |text| beyond ASCII a spare key of its own, and
// keeps it. xdotool would otherwise map each one to a spare key, press it
// and map the key back at once; a client that reads the map only when it
// handles the change then sees the key as it was before, and the character
// is lost.
bool giveKeysTo(const QString &text);

} // namespace x11

#endif // X11UTIL_H
