#include "proctree.h"

#include <dirent.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "processutil.h"

namespace proctree {

namespace {

QByteArray readProc(qint64 pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The sum of |fields| of the smaps_rollup of |pids|, in KiB.
qint64 rollupKiB(const QList<qint64> &pids, const QList<QByteArray> &fields)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        const QList<QByteArray> lines = readProc(pid, "smaps_rollup").split('\n');
        for (const QByteArray &line : lines) {
            const int colon = line.indexOf(':');
            if (colon > 0 && fields.contains(line.left(colon)))
                total += line.mid(colon + 1).trimmed().split(' ').first().toLongLong();
        }
    }
    return total;
}

// The fields of /proc/PID/stat after the command name, which may itself
// contain blanks and parentheses.
QList<QByteArray> statFields(qint64 pid)
{
    const QByteArray stat = readProc(pid, "stat");
    const int end = stat.lastIndexOf(')');
    if (end < 0)
        return {};
    return stat.mid(end + 2).split(' ');
}

} // namespace

QList<qint64> tree(qint64 root)
{
    return QList<qint64>{root} + proc::descendants(root);
}

qint64 cpuTicks(const QList<qint64> &pids)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        const QList<QByteArray> fields = statFields(pid);
        // utime and stime are fields 14 and 15 of the whole line.
        if (fields.size() > 12)
            total += fields.at(11).toLongLong() + fields.at(12).toLongLong();
    }
    return total;
}

qint64 pssKiB(const QList<qint64> &pids)
{
    return rollupKiB(pids, {"Pss"});
}

qint64 ownPssKiB(const QList<qint64> &pids)
{
    return rollupKiB(pids, {"Pss_Anon", "Pss_Shmem"});
}

qint64 threads(const QList<qint64> &pids)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        // num_threads is field 20 of the whole line.
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() > 17)
            total += fields.at(17).toLongLong();
    }
    return total;
}

qint64 openFiles(const QList<qint64> &pids)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        DIR *dir = ::opendir(QByteArray("/proc/" + QByteArray::number(pid) + "/fd").constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                ++total;
        }
        ::closedir(dir);
    }
    return total;
}

bool waitQuiet(qint64 root, int windowMs, int maxPercent, int timeoutMs)
{
    const qint64 ticksPerSecond = sysconf(_SC_CLK_TCK);
    const qint64 allowed = ticksPerSecond * windowMs * maxPercent / (1000 * 100);
    QElapsedTimer clock;
    clock.start();
    qint64 before = cpuTicks(tree(root));
    while (clock.elapsed() < timeoutMs) {
        QThread::msleep(static_cast<unsigned long>(windowMs));
        const qint64 now = cpuTicks(tree(root));
        if (now - before <= allowed)
            return true;
        before = now;
    }
    return false;
}

} // namespace proctree
