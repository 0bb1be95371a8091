#include "soaksamples.h"

#include <QStringList>
#include <QTest>

#include "proctree.h"

bool SoakSamples::openCsv(const QString &path)
{
    csv.setFileName(path);
    if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    csv.write("t_s,pss_mib,processes,threads,browser_threads,fds,browser_fds,ui_tasks,gui_tasks,deferred_events,"
              "error_reads,browsers,pages,gui_silence_ms,stream_fetches,platform_up,browser_pss_mib\n");
    return true;
}

void SoakSamples::take(double t, qint64 browser, const QString &engineStatsPath, qint64 guiSilenceMs,
                       int streamFetches, bool platformUp)
{
    SoakSample s;
    s.t = t;
    const QList<qint64> tree = proctree::tree(browser);
    s.processes = tree.size();
    s.pssMiB = proctree::pssKiB(tree) / 1024.0;
    s.browserPssMiB = proctree::pssKiB({browser}) / 1024.0;
    s.threads = proctree::threads(tree);
    s.browserThreads = proctree::threads({browser});
    s.fds = proctree::openFiles(tree);
    s.browserFds = proctree::openFiles({browser});
    QFile stats(engineStatsPath);
    if (stats.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : stats.readAll().split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0)
                s.engine.insert(QString::fromLatin1(line.left(equals)), line.mid(equals + 1).toLongLong());
        }
    }
    s.guiSilenceMs = guiSilenceMs;
    s.streamFetches = streamFetches;
    s.platformUp = platformUp;
    taken << s;

    QStringList row{QString::number(s.t, 'f', 1), QString::number(s.pssMiB, 'f', 1), QString::number(s.processes),
                    QString::number(s.threads), QString::number(s.browserThreads), QString::number(s.fds),
                    QString::number(s.browserFds)};
    for (const char *key : {"ui_tasks", "gui_tasks", "deferred_events", "error_reads", "browsers", "pages"})
        row << QString::number(s.counter(key));
    row << QString::number(s.guiSilenceMs) << QString::number(s.streamFetches) << QString::number(s.platformUp ? 1 : 0)
        << QString::number(s.browserPssMiB, 'f', 1);
    csv.write(row.join(QLatin1Char(',')).toLatin1() + '\n');
    csv.flush();
}

QList<double> SoakSamples::window(double from, double to,
                                  const std::function<double(const SoakSample &)> &value) const
{
    QList<double> values;
    for (const SoakSample &s : taken) {
        if (s.t > from && s.t <= to + 1)
            values << value(s);
    }
    return values;
}

SoakPss SoakSamples::lowestPss(qint64 browser, int count, int gapMs)
{
    SoakPss lowest;
    const auto lower = [](double &kept, qint64 kib) { kept = kept < 0 ? kib / 1024.0 : qMin(kept, kib / 1024.0); };
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            QTest::qWait(gapMs);
        const qint64 own = proctree::ownPssKiB({browser});
        lower(lowest.browser, own);
        lower(lowest.tree, proctree::ownPssKiB(proctree::tree(browser)));
        lower(lowest.browserFiles, proctree::pssKiB({browser}) - own);
    }
    return lowest;
}
