#ifndef PROCESSUTIL_H
#define PROCESSUTIL_H

#include <QList>
#include <QString>

// Processes as /proc shows them, for tests and benchmarks that check what a
// program leaves running.
namespace proc {

// Every process below |pid| (children, their children, ...).
QList<qint64> descendants(qint64 pid);

// The executable of |pid|, or an empty string when it is gone.
QString executable(qint64 pid);

// The command line of |pid|, arguments joined by blanks.
QString commandLine(qint64 pid);

// The engine's render processes below the browser process |browserPid|.
QList<qint64> renderers(qint64 browserPid);

// Kills |root| and every process below it, and waits until they are gone.
void killTree(qint64 root);

} // namespace proc

#endif // PROCESSUTIL_H
