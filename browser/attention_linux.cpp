#include "attention.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

// After Qt's headers: Xlib defines names that Qt uses.
#include <X11/Xlib.h>

void demandAttention(QWidget *window)
{
    QApplication::alert(window);
    // Qt 5.15's alert sends nothing to the window manager under X11, so the
    // demands-attention request of the window manager's protocol (EWMH) is
    // sent here.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window->winId());
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1; // add
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_DEMANDS_ATTENTION", False));
    event.xclient.data.l[3] = 1; // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XCloseDisplay(display);
}
