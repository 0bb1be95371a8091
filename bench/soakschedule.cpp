#include "soakschedule.h"

#include <algorithm>

SoakSchedule::SoakSchedule(const SoakOptions &options)
{
    const auto every = [&](int period, int phase, SoakAction action) {
        for (qint64 at = phase; period > 0 && at < options.seconds; at += period)
            planned << Step{at * 1000, action};
    };
    every(options.switchSeconds, options.switchPhase, SoakAction::Switch);
    every(options.popupSeconds, options.popupPhase, SoakAction::Popup);
    every(options.killSeconds, options.killPhase, SoakAction::Kill);
    for (qint64 at = options.outagePhase; options.outageEverySeconds > 0 && at + options.outageSeconds < options.seconds;
         at += options.outageEverySeconds) {
        planned << Step{at * 1000, SoakAction::OutageStart};
        planned << Step{(at + options.outageSeconds) * 1000, SoakAction::OutageEnd};
    }
    std::stable_sort(planned.begin(), planned.end(), [](const Step &a, const Step &b) { return a.atMs < b.atMs; });
}
