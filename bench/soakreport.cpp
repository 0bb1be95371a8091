#include "soakreport.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <algorithm>

const SoakTarget SoakTargets::pssChange{"within %1%2", 10, "%"};
const SoakTarget SoakTargets::flat{"flat", 5, "%", 2};
const SoakTarget SoakTargets::recovery{"every recovery within %1 %2", 35, "s"};
const SoakTarget SoakTargets::guiSilence{"GUI thread never silent for more than %1 %2", 250, "ms"};
const SoakTarget SoakTargets::perEvent{"PSS per event at most %1 %2", 0.1, "MiB"};

namespace {

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

double lowest(const QList<double> &values)
{
    return values.isEmpty() ? 0 : *std::min_element(values.begin(), values.end());
}

// Writes |text| to |path| and gives it back; null if it cannot.
QString save(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(text.toUtf8());
    return text;
}

} // namespace

QString SoakReport::writeRun(const QString &path, qint64 pingsAnswered) const
{
    QString text;
    QTextStream out(&text);
    out << "Soak run of " << options.seconds / 60.0 << " min, " << QDateTime::currentDateTime().toString(Qt::ISODate)
        << ".  \n" << options.machine << "\n\n";
    writeMinutes(out);
    writeRecoveries(out);
    writeTargets(out, pingsAnswered);
    out.flush();
    return save(path, text);
}

void SoakReport::writeMinutes(QTextStream &out) const
{
    out << QStringLiteral("| minute | PSS (MiB): tree, median (min–max) / browser, median | processes | threads: tree / browser | fds: tree / browser "
           "| queued: UI / GUI / deferred (max) | browsers / pages (max) | GUI silence (max ms) | clips served "
           "| what happened |\n|---|---|---|---|---|---|---|---|---|---|\n");
    const int minutes = (options.seconds + 59) / 60;
    for (int minute = 1; minute <= minutes; ++minute) {
        QList<SoakSample> in;
        for (const SoakSample &s : samples.samples()) {
            if (s.t > (minute - 1) * 60 && s.t <= minute * 60 + 1)
                in << s;
        }
        if (in.isEmpty())
            continue;
        const SoakSample &last = in.last();
        qint64 ui = 0, gui = 0, deferred = 0, browsers = 0, pages = 0, silence = 0;
        int clips = 0;
        QList<double> pss, browserPss;
        for (const SoakSample &s : in) {
            pss << s.pssMiB;
            browserPss << s.browserPssMiB;
            ui = qMax(ui, s.counter("ui_tasks"));
            gui = qMax(gui, s.counter("gui_tasks"));
            deferred = qMax(deferred, s.counter("deferred_events"));
            browsers = qMax(browsers, s.counter("browsers"));
            pages = qMax(pages, s.counter("pages"));
            silence = qMax(silence, s.guiSilenceMs);
            clips += s.streamFetches;
        }
        QStringList happened;
        for (const auto &event : samples.events()) {
            if (event.first > (minute - 1) * 60 && event.first <= minute * 60 && !event.second.startsWith("switch:")
                && !event.second.startsWith("popup opened"))
                happened << event.second;
        }
        out << "| " << minute << " | " << QString::number(median(pss), 'f', 0) << " ("
            << QString::number(*std::min_element(pss.begin(), pss.end()), 'f', 0) << QStringLiteral("–")
            << QString::number(*std::max_element(pss.begin(), pss.end()), 'f', 0) << ") / "
            << QString::number(median(browserPss), 'f', 0) << " | " << last.processes << " | "
            << last.threads << " / " << last.browserThreads << " | " << last.fds << " / " << last.browserFds << " | "
            << ui << " / " << gui << " / " << deferred << " | " << browsers << " / " << pages << " | " << silence
            << " | " << clips << " | " << happened.join(QStringLiteral("; ")) << " |\n";
    }
}

void SoakReport::writeRecoveries(QTextStream &out) const
{
    out << "\n| recovery | at (s) | page shown again after (s) |\n|---|---|---|\n";
    for (const SoakRecovery &r : samples.recoveries()) {
        out << "| " << r.what << " | " << QString::number(r.at, 'f', 0) << " | "
            << (r.seconds < 0 ? QStringLiteral("never (%1 s waited)").arg(options.recoveryTimeoutSeconds)
                              : QString::number(r.seconds, 'f', 1))
            << " |\n";
    }
}

void SoakReport::writeTargets(QTextStream &out, qint64 pingsAnswered) const
{
    // Reference: the minute that ends with the warm-up; compared with the
    // last minute of the run. Medians, so that one sample taken while a
    // popup was open or a page loading does not decide.
    const double warm = options.warmupSeconds, end = options.seconds;
    const auto compare = [&](const QString &name, const std::function<double(const SoakSample &)> &value, bool ratio,
                             bool floor = false) {
        const QList<double> first = samples.window(warm - 60, warm, value);
        const QList<double> last = samples.window(end - 60, end, value);
        const double before = floor ? lowest(first) : median(first);
        const double after = floor ? lowest(last) : median(last);
        QString verdict;
        if (ratio) {
            const double change = before > 0 ? (after / before - 1) * 100 : 0;
            verdict = QStringLiteral("%1 → %2 (%3%4%), %5")
                          .arg(before, 0, 'f', 1)
                          .arg(after, 0, 'f', 1)
                          .arg(change >= 0 ? "+" : "")
                          .arg(change, 0, 'f', 1)
                          .arg(SoakTargets::pssChange.met(qAbs(change)) ? "met" : "missed");
        } else {
            const bool flat = SoakTargets::flat.metGrowth(before, after);
            verdict = QStringLiteral("%1 → %2, %3").arg(before).arg(after).arg(flat ? "flat, met" : "grew, missed");
        }
        out << "| " << name << " | " << verdict << " |\n";
    };
    const QString flat = QStringLiteral(", ") + SoakTargets::flat.text();
    out << QStringLiteral("\n| target (minute %1 → last minute, medians) | measured |\n|---|---|\n")
               .arg(options.warmupSeconds / 60);
    compare(QStringLiteral("PSS ") + SoakTargets::pssChange.text() + QStringLiteral(" (MiB)"),
            [](const SoakSample &s) { return s.pssMiB; }, true);
    // The lowest sample of a minute tells a leak from the swings of texture
    // and media buffers better than the median: a leak raises the floor.
    compare(QStringLiteral("PSS, lowest sample of the minute (MiB)"), [](const SoakSample &s) { return s.pssMiB; },
            true, true);
    compare(QStringLiteral("PSS of the browser process (MiB)"), [](const SoakSample &s) { return s.browserPssMiB; },
            true);
    compare(QStringLiteral("threads of the tree") + flat, [](const SoakSample &s) { return double(s.threads); }, false);
    compare(QStringLiteral("threads of the browser process") + flat,
            [](const SoakSample &s) { return double(s.browserThreads); }, false);
    compare(QStringLiteral("descriptors of the tree") + flat, [](const SoakSample &s) { return double(s.fds); }, false);
    compare(QStringLiteral("descriptors of the browser process") + flat,
            [](const SoakSample &s) { return double(s.browserFds); }, false);
    compare(QStringLiteral("engine queues (UI + GUI + deferred)") + flat,
            [](const SoakSample &s) { return double(s.queued()); }, false);
    compare(QStringLiteral("browser objects alive") + flat,
            [](const SoakSample &s) { return double(s.counter("browsers")); }, false);

    qint64 longestSilence = 0;
    double maxQueued = 0;
    for (const SoakSample &s : samples.samples()) {
        longestSilence = qMax(longestSilence, s.guiSilenceMs);
        maxQueued = qMax(maxQueued, double(s.queued()));
    }
    double worstRecovery = 0;
    bool recoveredAll = true;
    for (const SoakRecovery &r : samples.recoveries()) {
        recoveredAll = recoveredAll && r.seconds >= 0;
        worstRecovery = qMax(worstRecovery, r.seconds);
    }
    out << "| engine queues, most at any sample | " << maxQueued << " |\n";
    out << "| " << SoakTargets::recovery.text() << " | "
        << (samples.recoveries().isEmpty()
                ? QStringLiteral("none planned")
                : QStringLiteral("worst %1 s, %2")
                      .arg(worstRecovery, 0, 'f', 1)
                      .arg(recoveredAll && SoakTargets::recovery.met(worstRecovery) ? "met" : "missed"))
        << " |\n";
    out << "| " << SoakTargets::guiSilence.text() << " | longest " << longestSilence << " ms, "
        << (SoakTargets::guiSilence.met(longestSilence) ? "met" : "missed") << " (" << pingsAnswered
        << " pings answered) |\n";
}

QString SoakReport::writePerEvent(const QString &path) const
{
    QString text;
    QTextStream out(&text);
    out << "Per-event soak, " << QDateTime::currentDateTime().toString(Qt::ISODate) << ": " << options.warmupEvents
        << " events of each kind to warm up, then the events counted below. PSS in MiB without mapped files "
           "(anonymous and shared memory), each the lowest of several samples once the page was shown again; the "
           "mapped files' share moves with every other program that maps the same libraries, so it is shown apart.  \n"
        << options.machine << "\n\n";
    out << QStringLiteral("| event | events | browser PSS before → halfway → after | browser per event "
                          "(second half) | tree PSS before → halfway → after | tree per event (second half) "
                          "| browser's mapped files before → after |\n"
                          "|---|---|---|---|---|---|---|\n");
    const auto pss = [](double before, double middle, double after) {
        return QStringLiteral("%1 → %2 → %3").arg(before, 0, 'f', 1).arg(middle, 0, 'f', 1).arg(after, 0, 'f', 1);
    };
    const auto perEvent = [](double before, double middle, double after, int events, int firstHalf) {
        const double growth = events > 0 ? (after - before) / events : 0;
        const double late = events > firstHalf ? (after - middle) / (events - firstHalf) : 0;
        return QStringLiteral("%1 (%2), %3")
            .arg(growth, 0, 'f', 3)
            .arg(late, 0, 'f', 3)
            .arg(SoakTargets::perEvent.met(growth) ? "met" : "missed");
    };
    for (const SoakEventCost &c : samples.costs()) {
        out << "| " << c.kind << " | " << c.events << " | "
            << pss(c.before.browser, c.middle.browser, c.after.browser) << " | "
            << perEvent(c.before.browser, c.middle.browser, c.after.browser, c.events, c.firstHalf) << " | "
            << pss(c.before.tree, c.middle.tree, c.after.tree) << " | "
            << perEvent(c.before.tree, c.middle.tree, c.after.tree, c.events, c.firstHalf) << " | "
            << QStringLiteral("%1 → %2").arg(c.before.browserFiles, 0, 'f', 1).arg(c.after.browserFiles, 0, 'f', 1)
            << " |\n";
    }
    out << "\nTarget: " << SoakTargets::perEvent.text() << " for each kind.\n";
    out.flush();
    return save(path, text);
}
