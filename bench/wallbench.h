// The camera wall, vmpclient against Chromium in app mode: both show the
// demo platform's four cameras, fed 720p H.264 streams, in the same X server
// under the same window manager, one program at a time.
#ifndef BENCH_WALLBENCH_H
#define BENCH_WALLBENCH_H

#include <QString>

#include "platformserverthread.h"

class ClientSession;
class DevTools;

class WallBench
{
public:
    struct Settings
    {
        QString client;     // vmpclient
        QString chromium;   // Chromium's launcher, as a user starts it
        QString streamFile; // fragmented MP4 every camera plays
        int warmupSeconds = 15;
        int windowSeconds = 45;
    };

    // What one program did over the measured window, the wall playing.
    struct Run
    {
        bool ok = false;
        QString failure;
        double cpuSecondsPerMinute = 0; // of the whole process tree
        double pssMiB = 0;              // of the whole tree, mean of the window's samples
        double shownPerSecond = 0;      // frames, all cameras together
        double updatesPerSecond = 0;    // of the screen, as the X server saw them drawn
        qint64 dropped = 0;             // frames, all cameras, over the window
        qint64 longestSilenceMs = 0;    // of the window's GUI thread
    };

    explicit WallBench(const Settings &settings) : settings(settings) {}

    // Serves the platform, the wall's clips included, on port 80 of a
    // loopback address of its own; needs a window manager running.
    bool setUp(QString *error);

    // vmpclient logged in through its login window, then sent to the wall.
    Run runClient();
    // Chromium started on the wall, as an operator would keep it open.
    Run runChromium();

private:
    QString camerasUrl() const;
    // Warms up, then measures the tree of |session| whose |window| shows
    // the wall.
    Run measure(ClientSession &session, DevTools &devTools, unsigned long window);

    const Settings settings;
    PlatformServerThread server;
    QString address;
};

#endif // BENCH_WALLBENCH_H
