// What the soak sees of the platform's main page, read through DevTools.
#ifndef BENCH_SOAKPAGESTATE_H
#define BENCH_SOAKPAGESTATE_H

#include <QList>
#include <QString>

struct SoakPageState
{
    // Evaluated in the page, it answers "cameras <load> <appended,...>",
    // "home <load>", "error" or "other". <load> tells one load of the page
    // from the next.
    static const char script[];

    QString page; // "cameras", "home", "error", "other" or empty: no answer
    QString load;
    QList<int> appended;

    // The state from the script's answer.
    static SoakPageState parse(const QString &text);

    // Shown again after |before|: the page |wanted| is there and, for the
    // cameras, every camera has appended a clip since (or since loading).
    bool shownAfter(const QString &wanted, const SoakPageState &before) const;
};

#endif // BENCH_SOAKPAGESTATE_H
