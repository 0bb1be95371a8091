// What the benchmarks need of the X server beyond the harness (x11util.h):
// whether a window or the screen shows a painted frame, and input sent
// through the server's test extension at once, with no helper program in the
// way of the timing. One connection for the whole run keeps the polling light.
#ifndef BENCH_XPROBE_H
#define BENCH_XPROBE_H

#include <QPoint>

typedef struct _XDisplay Display;

class XProbe
{
public:
    XProbe();
    ~XProbe();
    XProbe(const XProbe &) = delete;
    XProbe &operator=(const XProbe &) = delete;

    bool isOpen() const { return display != nullptr; }

    // True once the window shows a painted frame: at least |minShare| percent
    // of the pixels of its top band have the colour |rgb| that the toolkit
    // fills windows with. Before its first frame a window shows whatever the
    // server left there; the toolkit puts a whole frame out at once, so the
    // band tells for all of it, and looking at no more keeps the polling
    // light on the machine being measured.
    bool showsColour(unsigned long window, unsigned int rgb, int minShare);
    // The same test on a band of the screen itself, whichever window shows
    // there: a band low in the middle of the screen, which a maximized window
    // covers and the login window does not.
    bool screenShowsColour(unsigned int rgb, int minShare);

    // Moves the pointer to |pos| of |window| and waits until it is there.
    bool moveTo(unsigned long window, const QPoint &pos);
    // A left click where the pointer is, sent to the server before this
    // returns.
    void click();

private:
    bool bandShowsColour(unsigned long window, int x, int y, int width, int height, unsigned int rgb, int minShare);

    Display *display = nullptr;
};

#endif // BENCH_XPROBE_H
