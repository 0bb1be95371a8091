#ifndef CHILDWINDOW_H
#define CHILDWINDOW_H

#include "include/internal/cef_types.h"

// Places the native child window |handle| at x, y of its parent and gives it
// the size width by height. Safe to call from any thread: off the GUI thread
// the move is handed to the GUI thread and happens shortly after. Each
// platform has a file of its own (childwindow_linux.cpp); a Windows port
// places the window with deferred window positioning.
void placeChildWindow(CefWindowHandle handle, int x, int y, int width, int height);

#endif // CHILDWINDOW_H
