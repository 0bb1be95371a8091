// What a process and everything it started use, as /proc shows it; the
// processes themselves are found with the harness (processutil.h).
#ifndef BENCH_PROCTREE_H
#define BENCH_PROCTREE_H

#include <QList>

namespace proctree {

// |root| and every process below it.
QList<qint64> tree(qint64 root);

// CPU time used so far by |pids|, in clock ticks.
qint64 cpuTicks(const QList<qint64> &pids);

// Sum of the proportional set sizes of |pids|, in KiB; shared pages count
// once in total, split between the processes that map them.
qint64 pssKiB(const QList<qint64> &pids);

// The part of pssKiB() that is not mapped files: anonymous and shared memory.
// Library pages count for every process on the machine that maps the same
// library, so their share in |pids| moves as other programs start and end;
// what an event leaves behind shows here alone.
qint64 ownPssKiB(const QList<qint64> &pids);

// Threads of |pids| together.
qint64 threads(const QList<qint64> &pids);

// Open file descriptors of |pids| together.
qint64 openFiles(const QList<qint64> &pids);

// Waits until the tree of |root| has used less than |maxPercent| of one CPU
// over |windowMs|; false if it never did within |timeoutMs|.
bool waitQuiet(qint64 root, int windowMs, int maxPercent, int timeoutMs);

} // namespace proctree

#endif // BENCH_PROCTREE_H
