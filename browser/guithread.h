#ifndef GUITHREAD_H
#define GUITHREAD_H

#include <functional>

#include <QCoreApplication>
#include <QThread>

// The one way the system's code reaches the Qt GUI thread, and the one way it
// asserts that it runs there. The engine calls its handlers on the browser UI
// thread, never on the GUI thread, so work for widgets is handed over with a
// queued call.

// True on the thread of the application object.
inline bool isGuiThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Debug builds stop when the caller is not on the GUI thread.
#define REQUIRE_GUI_THREAD() Q_ASSERT(isGuiThread())

// Any thread: runs |task| on the GUI thread once the events queued there have
// run, even when called from the GUI thread itself. The task is dropped when
// |context| is destroyed first.
inline void postToGuiThread(QObject *context, std::function<void()> task)
{
    QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
}

// Any thread: the same with the application as context; dropped when there is
// no application.
inline void postToGuiThread(std::function<void()> task)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        postToGuiThread(app, std::move(task));
}

#endif // GUITHREAD_H
