#ifndef USERACTIONS_H
#define USERACTIONS_H

#include <QString>

// Real keyboard and mouse input through the X server's test extension, as a
// user's devices would send it (xdotool).
namespace user {

// Clicks at x, y of |window|'s own coordinates.
bool click(unsigned long window, int x, int y);

// Selects all of the focused field and types |text| over it.
bool replaceText(const QString &text);

// Types |text| into whatever has the keyboard focus.
bool type(const QString &text);

// Presses a key or combination such as "Escape" or "ctrl+a".
bool key(const QString &keys);

// Makes |window| the active window and waits until it is.
bool activate(unsigned long window);

} // namespace user

#endif // USERACTIONS_H
