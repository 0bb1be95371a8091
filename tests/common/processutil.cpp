#include "processutil.h"

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

#include <algorithm>

namespace proc {

namespace {

QList<qint64> allPids()
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok)
            pids << pid;
    }
    return pids;
}

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name is in parentheses and may itself hold blanks.
    const int close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

} // namespace

QList<qint64> descendants(qint64 pid)
{
    QMap<qint64, QList<qint64>> children;
    for (qint64 candidate : allPids())
        children[parentOf(candidate)] << candidate;
    QList<qint64> found;
    QList<qint64> pending{pid};
    while (!pending.isEmpty()) {
        const qint64 next = pending.takeFirst();
        for (qint64 child : children.value(next)) {
            found << child;
            pending << child;
        }
    }
    return found;
}

QString executable(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

QString commandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray text = file.readAll();
    text.replace('\0', ' ');
    return QString::fromLocal8Bit(text).trimmed();
}

// Renderers are forked from the engine's zygote and keep its command line.
QList<qint64> renderers(qint64 browserPid)
{
    QList<qint64> found;
    for (qint64 pid : descendants(browserPid)) {
        const QString line = commandLine(pid);
        if (line.contains(QLatin1String("--type=renderer"))) {
            found << pid;
            continue;
        }
        if (!line.contains(QLatin1String("--type=zygote")))
            continue;
        for (qint64 child : descendants(pid)) {
            if (commandLine(child).contains(QLatin1String("--type=zygote")))
                found << child;
        }
    }
    return found;
}

void killTree(qint64 root)
{
    QList<qint64> tree = descendants(root);
    tree.prepend(root);
    for (qint64 pid : tree)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    // Gone once reaped, or at least dead: a zombie has no executable left.
    (void)QTest::qWaitFor(
        [&] { return std::all_of(tree.begin(), tree.end(), [](qint64 pid) { return executable(pid).isEmpty(); }); },
        10000);
}

} // namespace proc
