// The soak's markdown report, and the targets it holds the run to.
#ifndef BENCH_SOAKREPORT_H
#define BENCH_SOAKREPORT_H

#include <QString>

#include "soaksamples.h"
#include "soakschedule.h"

class QTextStream;

// One target: its limit, its unit, and the report's words for it, made from
// the two so that the text and the comparison cannot disagree.
struct SoakTarget
{
    const char *format; // %1: the limit, %2: the unit
    double limit;
    const char *unit;
    double floor = 0; // for a relative limit: the least absolute slack

    QString text() const { return QString::fromUtf8(format).arg(limit).arg(QString::fromUtf8(unit)); }
    bool met(double value) const { return value <= limit; }
    // |after| at most |limit| percent above |before|, or |floor| above it.
    bool metGrowth(double before, double after) const
    {
        return after <= before + qMax(floor, before * (limit / 100));
    }
};

// Every target of the soak, in one place.
struct SoakTargets
{
    // PSS from the warm-up minute to the last: change in either direction.
    static const SoakTarget pssChange;
    // Threads, descriptors, queues and browser objects from the warm-up
    // minute to the last.
    static const SoakTarget flat;
    static const SoakTarget recovery;
    static const SoakTarget guiSilence;
    // PSS growth per event, after the warm-up events, of the short run.
    static const SoakTarget perEvent;
};

class SoakReport
{
public:
    SoakReport(const SoakOptions &options, const SoakSamples &samples) : options(options), samples(samples) {}

    // Writes the report of the timed run to |path| and returns it; a null
    // string if the file cannot be written. |pingsAnswered|: by the GUI
    // probe over the run.
    QString writeRun(const QString &path, qint64 pingsAnswered) const;
    // The same for the short run of repeated events.
    QString writePerEvent(const QString &path) const;

private:
    void writeMinutes(QTextStream &out) const;
    void writeRecoveries(QTextStream &out) const;
    void writeTargets(QTextStream &out, qint64 pingsAnswered) const;

    const SoakOptions &options;
    const SoakSamples &samples;
};

#endif // BENCH_SOAKREPORT_H
