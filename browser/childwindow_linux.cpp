#include "childwindow.h"

#include <QCoreApplication>
#include <QWidget>

#include "guithread.h"

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
    if (!handle || !QCoreApplication::instance())
        return;
    if (isGuiThread()) {
        placeNow(handle, x, y, width, height);
        return;
    }
    postToGuiThread([=] { placeNow(handle, x, y, width, height); });
}
