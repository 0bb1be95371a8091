#include "xprobe.h"

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

} // namespace

XProbe::XProbe()
    : display(XOpenDisplay(nullptr))
{
    XSetErrorHandler(ignoreErrors);
}

XProbe::~XProbe()
{
    if (display)
        XCloseDisplay(display);
}

bool XProbe::showsColour(unsigned long window, unsigned int rgb, int minShare)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    return bandShowsColour(window, 0, 0, attributes.width, qMin(attributes.height, 16), rgb, minShare);
}

bool XProbe::screenShowsColour(unsigned int rgb, int minShare)
{
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int height = DisplayHeight(display, screen);
    return bandShowsColour(DefaultRootWindow(display), width / 2 - 64, height * 7 / 8, 128, 8, rgb, minShare);
}

bool XProbe::bandShowsColour(unsigned long window, int x, int y, int width, int height, unsigned int rgb,
                             int minShare)
{
    XImage *image = XGetImage(display, window, x, y, static_cast<unsigned int>(width),
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
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), pos.x(), pos.y(), &x, &y, &child))
        return false;
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
    return true;
}

void XProbe::click()
{
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}
