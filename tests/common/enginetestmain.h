#ifndef ENGINETESTMAIN_H
#define ENGINETESTMAIN_H

#include <QApplication>
#include <QtTest>

#include "include/cef_app.h"

// A test main for tests that run the real engine: the test executable also
// serves as every engine sub-process, the engine runs with the program's own
// settings (cache in memory unless a test asks otherwise), and it is shut
// down after the tests.
#define ENGINE_TEST_MAIN(TestObject)                                              \
    int main(int argc, char *argv[])                                              \
    {                                                                             \
        const CefMainArgs mainArgs(argc, argv);                                   \
        const int subprocessCode = CefExecuteProcess(mainArgs, nullptr, nullptr); \
        if (subprocessCode >= 0)                                                  \
            return subprocessCode;                                                \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);               \
        QApplication app(argc, argv);                                             \
        app.setQuitOnLastWindowClosed(false);                                     \
        CefSettings settings;                                                     \
        settings.multi_threaded_message_loop = 1;                                 \
        settings.no_sandbox = 1;                                                  \
        settings.log_severity = LOGSEVERITY_DISABLE;                              \
        CefInitialize(mainArgs, settings, nullptr, nullptr);                      \
        int result = 0;                                                           \
        {                                                                         \
            TestObject tc;                                                        \
            QTEST_SET_MAIN_SOURCE_PATH                                            \
            result = QTest::qExec(&tc, argc, argv);                               \
        }                                                                         \
        CefShutdown();                                                            \
        return result;                                                            \
    }

#endif // ENGINETESTMAIN_H
