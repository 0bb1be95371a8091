#ifndef UITHREAD_H
#define UITHREAD_H

#include <functional>
#include <future>
#include <memory>

#include <QApplication>
#include <QtTest>

#include "include/cef_app.h"
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
        {
            std::function<void()> local;
            local.swap(*box);
            local();
        }
        done->set_value();
    });
    if (!posted)
        return false;
    finished.wait();
    return true;
}

// A test main for tests that need the engine's browser UI thread but no
// browser: the runtime is started without a display, and since no browser is
// created the web engine itself never starts.
#define UI_THREAD_TEST_MAIN(TestObject)                                      \
    int main(int argc, char *argv[])                                         \
    {                                                                        \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                         \
        QApplication app(argc, argv);                                        \
        const CefMainArgs mainArgs(argc, argv);                              \
        CefSettings settings;                                                \
        settings.multi_threaded_message_loop = 1;                            \
        settings.no_sandbox = 1;                                             \
        settings.log_severity = LOGSEVERITY_DISABLE;                         \
        if (!CefInitialize(mainArgs, settings, nullptr, nullptr))            \
            return 1;                                                        \
        int result = 0;                                                      \
        {                                                                    \
            TestObject tc;                                                   \
            QTEST_SET_MAIN_SOURCE_PATH                                       \
            result = QTest::qExec(&tc, argc, argv);                          \
        }                                                                    \
        CefShutdown();                                                       \
        return result;                                                       \
    }

#endif // UITHREAD_H
