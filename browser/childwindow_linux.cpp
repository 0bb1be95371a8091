#include "childwindow.h"

#include <QCoreApplication>
#include <QThread>
#include <QWidget>

namespace {

void placeNow(CefWindowHandle handle, int x, int y, int width, int height)
{
    // The browser's window is a native Qt widget, so it is moved through Qt,
    // which keeps its own idea of the geometry in step.
    if (QWidget *window = QWidget::find(static_cast<WId>(handle)))
        window->setGeometry(x, y, width, height);
}

} // namespace

void placeChildWindow(CefWindowHandle handle, int x, int y, int width, int height)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!handle || !app)
        return;
    if (QThread::currentThread() == app->thread()) {
        placeNow(handle, x, y, width, height);
        return;
    }
    QMetaObject::invokeMethod(
        app, [=] { placeNow(handle, x, y, width, height); }, Qt::QueuedConnection);
}
