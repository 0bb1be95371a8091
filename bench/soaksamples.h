// What the soak records: a sample of the process tree every few seconds
// (also written to the CSV file as it is taken), the recoveries and what
// happened when. All members are called from the GUI thread.
#ifndef BENCH_SOAKSAMPLES_H
#define BENCH_SOAKSAMPLES_H

#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <functional>

struct SoakSample
{
    double t = 0; // seconds since the schedule started
    double pssMiB = 0, browserPssMiB = 0;
    qint64 processes = 0, threads = 0, browserThreads = 0, fds = 0, browserFds = 0;
    QMap<QString, qint64> engine; // the engine layer's counters
    qint64 guiSilenceMs = 0;
    int streamFetches = 0; // camera clips the platform served since the last sample
    bool platformUp = true;

    // An engine counter, -1 when the engine did not report it.
    qint64 counter(const char *key) const { return engine.value(QLatin1String(key), -1); }
    // Tasks and events the engine layer holds queued.
    qint64 queued() const { return counter("ui_tasks") + counter("gui_tasks") + counter("deferred_events"); }
};

struct SoakRecovery
{
    QString what;
    double at = 0;       // seconds since the schedule started
    double seconds = -1; // until the page was shown again; negative: never
};

// The settled memory of the program, in MiB, each figure the lowest of
// several samples: PSS without mapped files (proctree::ownPssKiB) of the
// browser process and of its tree, and the mapped files' PSS of the browser.
struct SoakPss
{
    double browser = -1, tree = -1, browserFiles = -1;
};

// What one kind of event costs: the PSS without mapped files before a number
// of them, halfway and after, in MiB. Growth that goes on in the second half
// is a leak; growth that stops was the first events' warming up. The mapped
// files are shown beside it: their share moves with every other program on
// the machine that maps the same libraries.
struct SoakEventCost
{
    QString kind;
    int events = 0, firstHalf = 0;
    SoakPss before, middle, after;
};

class SoakSamples
{
public:
    // Creates the CSV file and writes its header; false if it cannot.
    bool openCsv(const QString &path);

    // Samples the tree of |browser| at |t|, with the engine's counters from
    // |engineStatsPath| and what the driver measured since the last sample.
    void take(double t, qint64 browser, const QString &engineStatsPath, qint64 guiSilenceMs, int streamFetches,
              bool platformUp);
    void addRecovery(const SoakRecovery &recovery) { recovered << recovery; }
    void addEvent(double t, const QString &event) { happened << qMakePair(t, event); }
    void addCost(const SoakEventCost &cost) { costed << cost; }

    const QList<SoakSample> &samples() const { return taken; }
    const QList<SoakRecovery> &recoveries() const { return recovered; }
    const QList<QPair<double, QString>> &events() const { return happened; }
    const QList<SoakEventCost> &costs() const { return costed; }

    // |value| of every sample in (|from|, |to| + 1]: the second of slack
    // keeps the sample that falls due at |to| but is taken a moment late.
    QList<double> window(double from, double to, const std::function<double(const SoakSample &)> &value) const;

    // The memory of |browser| and its tree, each figure the lowest of |count|
    // samples |gapMs| apart: single samples swing with texture and media
    // buffers, a leak raises the floor.
    static SoakPss lowestPss(qint64 browser, int count, int gapMs);

private:
    QFile csv;
    QList<SoakSample> taken;
    QList<SoakRecovery> recovered;
    QList<QPair<double, QString>> happened;
    QList<SoakEventCost> costed;
};

#endif // BENCH_SOAKSAMPLES_H
