#include "xthread.h"

#include <X11/Xlib.h>

XThread::~XThread()
{
    stop();
}

bool XThread::start(Body body, Prepare prepare)
{
    stop();
    connection = XOpenDisplay(nullptr);
    if (!connection)
        return false;
    if (prepare && !prepare(connection)) {
        XCloseDisplay(connection);
        connection = nullptr;
        return false;
    }
    stopRequested = false;
    thread = std::thread(std::move(body), connection);
    return true;
}

void XThread::stop()
{
    stopRequested = true;
    if (thread.joinable())
        thread.join();
    if (connection)
        XCloseDisplay(connection);
    connection = nullptr;
}
