#ifndef DOWNLOADQUESTION_H
#define DOWNLOADQUESTION_H

#include <functional>

#include <QString>

#include "include/cef_browser.h"

// Asks whether the page of |origin| may go on downloading files, in a
// PageQuestion over |browser|'s window, titled with the origin alone. Returns
// at once; |answer| is called once, on the GUI thread: true when the user
// allows, false when the user refuses (the default and Escape), and false
// when the window goes first or there is none. GUI thread only.
void askMultipleDownloads(CefRefPtr<CefBrowser> browser, const QString &origin, std::function<void(bool)> answer);

#endif // DOWNLOADQUESTION_H
