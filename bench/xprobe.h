// Looks at windows from outside their program, through the X server, and
// sends input as a user's devices would.
#ifndef BENCH_XPROBE_H
#define BENCH_XPROBE_H

#include <QPoint>
#include <QSize>
#include <QString>

typedef struct _XDisplay Display;

class XProbe
{
public:
    XProbe();
    ~XProbe();
    XProbe(const XProbe &) = delete;
    XProbe &operator=(const XProbe &) = delete;

    bool isOpen() const { return display_ != nullptr; }

    // A viewable top-level window of process |pid| with this name and size,
    // or 0.
    unsigned long findWindow(qint64 pid, const QString &name, const QSize &size);

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

    bool windowManagerRunning();
    // Waits until a window manager manages new windows: one announces itself
    // before it is ready, and a window mapped in between stays unmapped.
    bool waitForWindowManager(int timeoutMs);

private:
    bool bandShowsColour(unsigned long window, int x, int y, int width, int height, unsigned int rgb, int minShare);
    unsigned long search(unsigned long window, qint64 pid, const QString &name, const QSize &size, int depth);

    Display *display_ = nullptr;
};

#endif // BENCH_XPROBE_H
