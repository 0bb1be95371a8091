#ifndef WINDOWMANAGER_H
#define WINDOWMANAGER_H

class QProcess;

namespace windowmanager {

// Starts openbox in |process| and waits until it manages windows. Openbox
// announces itself on the root window before it is ready, and a window shown
// in between is never mapped; a window manager killed by an earlier test
// leaves the announcement behind as well. So the test is a window of our own
// that gets managed.
bool start(QProcess &process);

} // namespace windowmanager

#endif // WINDOWMANAGER_H
