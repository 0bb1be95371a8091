#include "childwindow.h"

#include <windows.h>

void placeChildWindow(CefWindowHandle handle, int x, int y, int width, int height)
{
    if (!handle)
        return;
    HDWP hdwp = BeginDeferWindowPos(1);
    hdwp = DeferWindowPos(hdwp, handle, nullptr, x, y, width, height, SWP_NOZORDER);
    EndDeferWindowPos(hdwp);
}
