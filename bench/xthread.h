// A thread that watches the X server on a connection of its own.
#ifndef BENCH_XTHREAD_H
#define BENCH_XTHREAD_H

#include <atomic>
#include <functional>
#include <thread>

typedef struct _XDisplay Display;

// Runs a body on a thread of its own with an X connection of its own, so that
// what it waits for on the server never waits behind the owner's work. The
// body runs until stopping() turns true and must look at it at least every
// 100 ms. start() and stop() are called from one thread, the owner's.
class XThread
{
public:
    using Body = std::function<void(Display *)>;
    using Prepare = std::function<bool(Display *)>;

    XThread() = default;
    ~XThread();
    XThread(const XThread &) = delete;
    XThread &operator=(const XThread &) = delete;

    // Opens the connection, lets |prepare| (if any) set it up on the owner's
    // thread and then starts |body| with it; false when there is no X display
    // or |prepare| refused. Stops a body still running first.
    bool start(Body body, Prepare prepare = nullptr);
    // Asks the body to end, waits for it and closes the connection.
    void stop();

    // Read by the body on its thread.
    bool stopping() const { return stopRequested.load(); }

private:
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    Display *connection = nullptr;
};

#endif // BENCH_XTHREAD_H
