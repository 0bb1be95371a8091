#ifndef UITHREAD_H
#define UITHREAD_H

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>

// ENGINE_TEST_MAIN: tests that create no browser start the engine's browser
// UI thread but never the web engine itself; they need no display either
// (QT_QPA_PLATFORM=offscreen).
#include "enginetestmain.h"
#include "include/wrapper/cef_closure_task.h"

// Runs |work| on the browser UI thread and returns once it has finished and
// everything it captured has been released, so that reference counts read
// afterwards are settled. False when the UI thread is not running.
inline bool runOnUi(std::function<void()> work)
{
    auto box = std::make_shared<std::function<void()>>(std::move(work));
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    const bool posted = CefPostTask(TID_UI, [box, done] {
        std::exchange(*box, nullptr)();
        done->set_value();
    });
    if (posted)
        finished.wait();
    return posted;
}

// Calls |call|(0), |call|(1), ... on the browser UI thread, one after the
// other, from a thread of its own until finished.
class CallbackStream
{
public:
    explicit CallbackStream(std::function<void(unsigned)> call)
        : thread([this, call] {
            for (unsigned n = 0; !stop && runOnUi([&call, n] { call(n); }); ++n)
                ++executedCalls;
        })
    {
    }
    ~CallbackStream() { finish(); }

    int executed() const { return executedCalls; }
    // Stops and waits for the call that is running.
    void finish()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }

private:
    std::atomic<bool> stop{false};
    std::atomic<int> executedCalls{0};
    std::thread thread;
};

#endif // UITHREAD_H
