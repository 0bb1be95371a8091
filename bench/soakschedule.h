// When the soak does what: the options of a run, and the actions they plan.
#ifndef BENCH_SOAKSCHEDULE_H
#define BENCH_SOAKSCHEDULE_H

#include <QList>
#include <QString>
#include <QStringList>

// Every length in seconds since the schedule started.
struct SoakOptions
{
    int seconds = 1800;
    int sampleSeconds = 10;
    int switchSeconds = 60, switchPhase = 60, homeSeconds = 5;
    int popupSeconds = 60, popupPhase = 30, popupOpenSeconds = 5;
    int killSeconds = 600, killPhase = 345;
    int outageEverySeconds = 900, outagePhase = 390, outageSeconds = 60;
    int warmupSeconds = 300;
    int recoveryTimeoutSeconds = 120;
    // The short run instead: each kind of event repeated, after a warm-up.
    bool perEvent = false;
    int events = 100;
    int warmupEvents = 3;
    QStringList kinds{QStringLiteral("popup"), QStringLiteral("switch"), QStringLiteral("kill"),
                      QStringLiteral("outage")};
    QString outDir;
    QString machine;
    // NAME=VALUE pairs for the program's environment, for comparisons such
    // as another scene graph.
    QStringList clientEnv;
};

enum class SoakAction { Switch, Popup, Kill, OutageStart, OutageEnd };

class SoakSchedule
{
public:
    struct Step
    {
        qint64 atMs;
        SoakAction action;
    };

    // The periodic actions of |options|, in the order they fall due; at the
    // same moment, switches before popups before kills before outages.
    explicit SoakSchedule(const SoakOptions &options);

    const QList<Step> &steps() const { return planned; }

private:
    QList<Step> planned;
};

#endif // BENCH_SOAKSCHEDULE_H
