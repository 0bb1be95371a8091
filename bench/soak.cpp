// A day in the control room, compressed: the real vmpclient logged in to the
// demo platform through its login window, showing the camera wall for as
// long as the run lasts while pages are switched, popups opened and closed,
// renderers killed and the platform stopped and started again. Every few
// seconds it records the memory, threads and descriptors of the whole process
// tree, what the engine layer holds queued, and how long the GUI thread took
// to answer; for every renderer kill and every outage, how long the page took
// to come back. Writes a CSV file, a markdown report and the data for the
// plot (bench/soak.sh draws it).
#include <signal.h>

#include <algorithm>

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

#include "clientsession.h"
#include "devtools.h"
#include "guiprobe.h"
#include "processutil.h"
#include "proctree.h"
#include "windowmanager.h"
#include "x11util.h"

namespace {

// Set by SIGINT and SIGTERM: the run stops early, cleans up and reports.
volatile sig_atomic_t g_interrupted = 0;

void interrupt(int)
{
    g_interrupted = 1;
}

struct Options
{
    int seconds = 1800;
    int sampleSeconds = 10;
    int switchSeconds = 60, switchPhase = 60, homeSeconds = 5;
    int popupSeconds = 60, popupPhase = 30, popupOpenSeconds = 5;
    int killSeconds = 600, killPhase = 345;
    int outageEverySeconds = 900, outagePhase = 390, outageSeconds = 60;
    int warmupSeconds = 300;
    int recoveryTimeoutSeconds = 120;
    QString outDir;
    QString machine;
};

enum class Action { Switch, Popup, Kill, OutageStart, OutageEnd };

struct Planned
{
    qint64 atMs;
    Action action;
};

struct Sample
{
    double t = 0; // seconds since the schedule started
    double pssMiB = 0, browserPssMiB = 0;
    qint64 processes = 0, threads = 0, browserThreads = 0, fds = 0, browserFds = 0;
    QMap<QString, qint64> engine; // the engine layer's counters
    qint64 guiSilenceMs = 0;
    int streamFetches = 0; // camera clips the platform served since the last sample
    bool platformUp = true;
};

struct Recovery
{
    QString what;
    double at = 0;      // seconds since the schedule started
    double seconds = -1; // until the page was shown again; negative: never
};

// What the main page shows: "cameras <load> <appended,...>", "home <load>",
// "error" or "other". <load> tells one load of the page from the next.
const char StateScript[] =
    "(function(){var load=String(performance.timeOrigin);"
    "if(document.getElementById('greeting'))return 'home '+load;"
    "if(document.getElementById('wall')&&typeof cameras!=='undefined'&&Array.isArray(cameras))"
    "return 'cameras '+load+' '+cameras.map(function(c){return c.appended;}).join(',');"
    "if(location.protocol==='chrome-error:'||/Failed to load URL/.test(document.body?document.body.innerText:''))"
    "return 'error';return 'other';})()";

struct PageState
{
    QString page; // "cameras", "home", "error", "other" or empty: no answer
    QString load;
    QList<int> appended;

    static PageState parse(const QString &text)
    {
        PageState state;
        const QStringList parts = text.split(QLatin1Char(' '));
        state.page = parts.value(0);
        state.load = parts.value(1);
        for (const QString &count : parts.value(2).split(QLatin1Char(','), Qt::SkipEmptyParts))
            state.appended << count.toInt();
        return state;
    }

    // Shown again after |before|: the page |wanted| is there and, for the
    // cameras, every camera has appended a clip since (or since loading).
    bool shownAfter(const QString &wanted, const PageState &before) const
    {
        if (page != wanted)
            return false;
        if (page != QLatin1String("cameras"))
            return load != before.load || before.page != wanted;
        if (appended.size() != 4)
            return false;
        const bool sameLoad = before.page == page && before.load == load && before.appended.size() == 4;
        for (int i = 0; i < 4; ++i) {
            if (appended.at(i) <= (sameLoad ? before.appended.at(i) : 0))
                return false;
        }
        return true;
    }
};

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Soak
{
public:
    explicit Soak(const Options &options) : options_(options) {}
    int run();

private:
    bool setUp();
    void tearDown();
    QList<Planned> plan() const;
    double now() const { return clock_.elapsed() / 1000.0; }

    QString evaluate(const QString &expression);
    PageState state() { return PageState::parse(evaluate(QLatin1String(StateScript))); }
    bool navigate(const QString &path);
    // Seconds until |wanted| is shown after |before|, or -1 after |timeoutS|.
    double waitShown(const QString &wanted, const PageState &before, int timeoutS);
    void note(const QString &event);

    void switchPages();
    void cyclePopup();
    void killRenderer();
    void stopPlatform();
    void startPlatform();

    void sample();
    void readPlatform();
    void writeReport();

    const Options options_;
    QProcess windowManager_;
    QProcess platform_;
    QString address_;
    DevTools devTools_;
    ClientSession session_;
    unsigned long view_ = 0;
    GuiProbe probe_;
    QElapsedTimer clock_;
    QTimer sampler_;
    QString engineStatsPath_;
    QFile csv_;
    QFile clientLog_;
    QList<Sample> samples_;
    QList<Recovery> recoveries_;
    QList<QPair<double, QString>> events_;
    bool platformUp_ = true;
    int streamFetches_ = 0;
    QByteArray platformOutput_;
};

bool Soak::setUp()
{
    QDir().mkpath(options_.outDir);
    if (!windowmanager::start(windowManager_)) {
        say(QStringLiteral("openbox did not start"));
        return false;
    }

    QRandomGenerator *random = QRandomGenerator::global();
    address_ = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
    platform_.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&platform_, &QProcess::readyRead, [this] { readPlatform(); });
    platform_.start(QStringLiteral(VMP_DEMO_PLATFORM_PATH),
                    {QStringLiteral("--address"), address_, QStringLiteral("--port"), QStringLiteral("80"),
                     QStringLiteral("--stream"), QStringLiteral(VMP_MEDIA_DIR "/clip-frag.mp4"),
                     QStringLiteral("--video"), QStringLiteral(VMP_MEDIA_DIR "/clip.mp4")});
    if (!QTest::qWaitFor([this] { return platformOutput_.contains("Platform listening"); }, 20000)) {
        say(QStringLiteral("the demo platform did not start: ") + QString::fromLocal8Bit(platformOutput_));
        return false;
    }

    engineStatsPath_ = QDir(options_.outDir).filePath(QStringLiteral("engine-stats.txt"));
    QFile::remove(engineStatsPath_);
    session_.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools_.address());
    session_.setEnv(QStringLiteral("CEFQT_STATS_FILE"), engineStatsPath_);
    clientLog_.setFileName(QDir(options_.outDir).filePath(QStringLiteral("client.log")));
    clientLog_.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QObject::connect(&session_.process(), &QProcess::readyReadStandardOutput,
                     [this] { clientLog_.write(session_.process().readAllStandardOutput()); });
    QObject::connect(&session_.process(), &QProcess::readyReadStandardError,
                     [this] { clientLog_.write(session_.process().readAllStandardError()); });
    if (!session_.start()) {
        say(QStringLiteral("vmpclient did not start"));
        return false;
    }
    const unsigned long login = session_.waitForLoginWindow(60000);
    if (!login || !session_.login(login, address_, QStringLiteral("operator"), QStringLiteral("pw"))) {
        say(QStringLiteral("could not log in"));
        return false;
    }
    view_ = session_.waitForViewWindow(60000);
    if (!view_ || waitShown(QStringLiteral("home"), PageState(), 60) < 0) {
        say(QStringLiteral("the platform's page did not appear after logging in"));
        return false;
    }
    if (!probe_.start(view_)) {
        say(QStringLiteral("no X display for the GUI probe"));
        return false;
    }
    // The wall is what the run watches; the first load of the camera page
    // is not measured.
    if (!navigate(QStringLiteral("/cameras")) || waitShown(QStringLiteral("cameras"), PageState(), 60) < 0) {
        say(QStringLiteral("the camera page did not play"));
        return false;
    }

    csv_.setFileName(QDir(options_.outDir).filePath(QStringLiteral("soak.csv")));
    if (!csv_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    csv_.write("t_s,pss_mib,processes,threads,browser_threads,fds,browser_fds,ui_tasks,gui_tasks,deferred_events,"
               "error_reads,browsers,pages,gui_silence_ms,stream_fetches,platform_up,browser_pss_mib\n");
    return true;
}

void Soak::tearDown()
{
    sampler_.stop();
    probe_.stop();
    session_.killAll();
    if (platform_.state() != QProcess::NotRunning) {
        platform_.terminate();
        if (!platform_.waitForFinished(10000))
            platform_.kill();
    }
    windowManager_.kill();
    windowManager_.waitForFinished();
}

QList<Planned> Soak::plan() const
{
    QList<Planned> planned;
    const auto every = [&](int period, int phase, Action action) {
        for (qint64 at = phase; period > 0 && at < options_.seconds; at += period)
            planned << Planned{at * 1000, action};
    };
    every(options_.switchSeconds, options_.switchPhase, Action::Switch);
    every(options_.popupSeconds, options_.popupPhase, Action::Popup);
    every(options_.killSeconds, options_.killPhase, Action::Kill);
    for (qint64 at = options_.outagePhase; options_.outageEverySeconds > 0 && at + options_.outageSeconds < options_.seconds;
         at += options_.outageEverySeconds) {
        planned << Planned{at * 1000, Action::OutageStart};
        planned << Planned{(at + options_.outageSeconds) * 1000, Action::OutageEnd};
    }
    std::stable_sort(planned.begin(), planned.end(),
                     [](const Planned &a, const Planned &b) { return a.atMs < b.atMs; });
    return planned;
}

QString Soak::evaluate(const QString &expression)
{
    // The main page, whichever of the two pages it shows, or the error page
    // shown instead (made by the program, so its address is a data URL);
    // never the popup, whose address is "/popup".
    const QStringList prefixes{QStringLiteral("http://%1/cameras").arg(address_),
                               QStringLiteral("http://%1/?").arg(address_), QStringLiteral("data:text/html")};
    for (const QString &prefix : prefixes) {
        const QString answer = devTools_.evaluate(prefix, expression);
        if (!answer.isNull())
            return answer;
    }
    return QString();
}

bool Soak::navigate(const QString &path)
{
    return !evaluate(QStringLiteral("location.href='%1';'ok'").arg(path)).isNull();
}

double Soak::waitShown(const QString &wanted, const PageState &before, int timeoutS)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutS * 1000 && !g_interrupted) {
        if (state().shownAfter(wanted, before))
            return waited.elapsed() / 1000.0;
        QTest::qWait(250);
    }
    return -1;
}

void Soak::note(const QString &event)
{
    events_ << qMakePair(now(), event);
    say(QStringLiteral("%1 s  %2").arg(now(), 7, 'f', 1).arg(event));
}

void Soak::switchPages()
{
    const PageState before = state();
    if (!navigate(QStringLiteral("/?user=operator"))) {
        note(QStringLiteral("switch: no page to navigate"));
        return;
    }
    const double home = platformUp_ ? waitShown(QStringLiteral("home"), before, 30) : -1;
    QTest::qWait(options_.homeSeconds * 1000);
    const PageState atHome = state();
    navigate(QStringLiteral("/cameras"));
    const double cameras = platformUp_ ? waitShown(QStringLiteral("cameras"), atHome, 30) : -1;
    note(platformUp_ ? QStringLiteral("switch: home in %1 s, cameras again in %2 s").arg(home).arg(cameras)
                     : QStringLiteral("switch while the platform is down"));
}

void Soak::cyclePopup()
{
    const int before = session_.windows().size();
    evaluate(QStringLiteral("window.open('/popup','popup','width=400,height=300');'ok'"));
    unsigned long popup = 0;
    (void)QTest::qWaitFor(
        [&] {
            for (unsigned long window : session_.windows()) {
                if (x11::screenGeometry(window).size() != x11::screenGeometry(view_).size())
                    popup = window;
            }
            return popup != 0;
        },
        20000);
    if (!popup) {
        note(QStringLiteral("popup: did not open"));
        return;
    }
    QTest::qWait(options_.popupOpenSeconds * 1000);
    // Closed as a user closes it, through the window manager.
    x11::requestClose(popup);
    const bool closed = QTest::qWaitFor([&] { return session_.windows().size() <= before; }, 20000);
    note(closed ? QStringLiteral("popup opened and closed") : QStringLiteral("popup: did not close"));
}

void Soak::killRenderer()
{
    const PageState before = state();
    const QList<qint64> victims = proc::renderers(session_.pid());
    for (qint64 pid : victims)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    const double at = now();
    note(QStringLiteral("renderer killed (%1 processes)").arg(victims.size()));
    const double seconds = waitShown(QStringLiteral("cameras"), before, options_.recoveryTimeoutSeconds);
    recoveries_ << Recovery{QStringLiteral("renderer killed"), at, seconds};
    note(QStringLiteral("renderer kill: page shown again after %1 s").arg(seconds));
}

void Soak::stopPlatform()
{
    platformOutput_.clear();
    ::kill(static_cast<pid_t>(platform_.processId()), SIGUSR1);
    if (!QTest::qWaitFor([this] { return platformOutput_.contains("stopped serving"); }, 10000))
        note(QStringLiteral("the platform did not say that it stopped"));
    platformUp_ = false;
    note(QStringLiteral("platform stopped"));
}

void Soak::startPlatform()
{
    const PageState before = state();
    platformOutput_.clear();
    ::kill(static_cast<pid_t>(platform_.processId()), SIGUSR2);
    if (!QTest::qWaitFor([this] { return platformOutput_.contains("Platform listening"); }, 10000))
        note(QStringLiteral("the platform did not say that it serves again"));
    platformUp_ = true;
    const double at = now();
    note(QStringLiteral("platform serving again"));
    const double seconds = waitShown(QStringLiteral("cameras"), before, options_.recoveryTimeoutSeconds);
    recoveries_ << Recovery{QStringLiteral("platform down for %1 s").arg(options_.outageSeconds), at, seconds};
    note(QStringLiteral("outage: page shown again after %1 s").arg(seconds));
}

void Soak::readPlatform()
{
    const QByteArray output = platform_.readAll();
    streamFetches_ += output.count("GET /stream.mp4");
    // Only the status lines are wanted; the request log is not kept.
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("Platform"))
            platformOutput_ += line + '\n';
    }
}

void Soak::sample()
{
    Sample s;
    s.t = now();
    const QList<qint64> tree = proctree::tree(session_.pid());
    s.processes = tree.size();
    s.pssMiB = proctree::pssKiB(tree) / 1024.0;
    s.browserPssMiB = proctree::pssKiB({session_.pid()}) / 1024.0;
    s.threads = proctree::threads(tree);
    s.browserThreads = proctree::threads({session_.pid()});
    s.fds = proctree::openFiles(tree);
    s.browserFds = proctree::openFiles({session_.pid()});
    QFile stats(engineStatsPath_);
    if (stats.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : stats.readAll().split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0)
                s.engine.insert(QString::fromLatin1(line.left(equals)), line.mid(equals + 1).toLongLong());
        }
    }
    s.guiSilenceMs = probe_.takeLongestSilenceMs();
    s.streamFetches = streamFetches_;
    streamFetches_ = 0;
    s.platformUp = platformUp_;
    samples_ << s;

    QStringList row{QString::number(s.t, 'f', 1), QString::number(s.pssMiB, 'f', 1), QString::number(s.processes),
                    QString::number(s.threads), QString::number(s.browserThreads), QString::number(s.fds),
                    QString::number(s.browserFds)};
    for (const char *key : {"ui_tasks", "gui_tasks", "deferred_events", "error_reads", "browsers", "pages"})
        row << QString::number(s.engine.value(QLatin1String(key), -1));
    row << QString::number(s.guiSilenceMs) << QString::number(s.streamFetches) << QString::number(s.platformUp ? 1 : 0)
        << QString::number(s.browserPssMiB, 'f', 1);
    csv_.write(row.join(QLatin1Char(',')).toLatin1() + '\n');
    csv_.flush();
}

int Soak::run()
{
    if (!setUp()) {
        tearDown();
        return 1;
    }
    const QList<Planned> planned = plan();
    say(QStringLiteral("Soak of %1 min against http://%2, %3 planned actions; output in %4")
            .arg(options_.seconds / 60.0)
            .arg(address_)
            .arg(planned.size())
            .arg(options_.outDir));
    // Silences of the set-up (the wall's first load) are not the run's.
    probe_.takeLongestSilenceMs();
    clock_.start();
    QObject::connect(&sampler_, &QTimer::timeout, [this] { sample(); });
    sampler_.setTimerType(Qt::PreciseTimer);
    sampler_.start(options_.sampleSeconds * 1000);
    sample();

    for (const Planned &next : planned) {
        (void)QTest::qWaitFor([&] { return g_interrupted || clock_.elapsed() >= next.atMs; }, int(qMax<qint64>(0, next.atMs - clock_.elapsed())) + 1000);
        if (g_interrupted) {
            note(QStringLiteral("interrupted"));
            break;
        }
        if (session_.process().state() == QProcess::NotRunning) {
            note(QStringLiteral("vmpclient has exited"));
            break;
        }
        switch (next.action) {
        case Action::Switch: switchPages(); break;
        case Action::Popup: cyclePopup(); break;
        case Action::Kill: killRenderer(); break;
        case Action::OutageStart: stopPlatform(); break;
        case Action::OutageEnd: startPlatform(); break;
        }
    }
    (void)QTest::qWaitFor([this] { return g_interrupted || clock_.elapsed() >= qint64(options_.seconds) * 1000; },
                    int(qMax<qint64>(0, qint64(options_.seconds) * 1000 - clock_.elapsed())) + 1000);
    sample();
    tearDown();
    writeReport();
    return 0;
}

void Soak::writeReport()
{
    QFile file(QDir(options_.outDir).filePath(QStringLiteral("soak.md")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    const auto engine = [](const Sample &s, const char *key) { return s.engine.value(QLatin1String(key), -1); };
    const auto queued = [&](const Sample &s) {
        return engine(s, "ui_tasks") + engine(s, "gui_tasks") + engine(s, "deferred_events");
    };

    out << "Soak run of " << options_.seconds / 60.0 << " min, " << QDateTime::currentDateTime().toString(Qt::ISODate)
        << ".  \n" << options_.machine << "\n\n";
    out << QStringLiteral("| minute | PSS (MiB): tree, median (min–max) / browser, median | processes | threads: tree / browser | fds: tree / browser "
           "| queued: UI / GUI / deferred (max) | browsers / pages (max) | GUI silence (max ms) | clips served "
           "| what happened |\n|---|---|---|---|---|---|---|---|---|---|\n");
    const int minutes = (options_.seconds + 59) / 60;
    for (int minute = 1; minute <= minutes; ++minute) {
        QList<Sample> in;
        for (const Sample &s : samples_) {
            if (s.t > (minute - 1) * 60 && s.t <= minute * 60 + 1)
                in << s;
        }
        if (in.isEmpty())
            continue;
        const Sample &last = in.last();
        qint64 ui = 0, gui = 0, deferred = 0, browsers = 0, pages = 0, silence = 0;
        int clips = 0;
        QList<double> pss, browserPss;
        for (const Sample &s : in) {
            pss << s.pssMiB;
            browserPss << s.browserPssMiB;
            ui = qMax(ui, engine(s, "ui_tasks"));
            gui = qMax(gui, engine(s, "gui_tasks"));
            deferred = qMax(deferred, engine(s, "deferred_events"));
            browsers = qMax(browsers, engine(s, "browsers"));
            pages = qMax(pages, engine(s, "pages"));
            silence = qMax(silence, s.guiSilenceMs);
            clips += s.streamFetches;
        }
        QStringList happened;
        for (const auto &event : events_) {
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

    out << "\n| recovery | at (s) | page shown again after (s) |\n|---|---|---|\n";
    double worstRecovery = 0;
    bool recoveredAll = true;
    for (const Recovery &r : recoveries_) {
        out << "| " << r.what << " | " << QString::number(r.at, 'f', 0) << " | "
            << (r.seconds < 0 ? QStringLiteral("never (%1 s waited)").arg(options_.recoveryTimeoutSeconds)
                              : QString::number(r.seconds, 'f', 1))
            << " |\n";
        recoveredAll = recoveredAll && r.seconds >= 0;
        worstRecovery = qMax(worstRecovery, r.seconds);
    }

    // Reference: the minute that ends with the warm-up; compared with the
    // last minute of the run. Medians, so that one sample taken while a
    // popup was open or a page loading does not decide.
    const auto window = [&](double from, double to, const std::function<double(const Sample &)> &value) {
        QList<double> values;
        for (const Sample &s : samples_) {
            if (s.t > from && s.t <= to + 1)
                values << value(s);
        }
        return values;
    };
    const double warm = options_.warmupSeconds, end = options_.seconds;
    const auto lowest = [](const QList<double> &values) {
        return values.isEmpty() ? 0 : *std::min_element(values.begin(), values.end());
    };
    const auto compare = [&](const QString &name, const std::function<double(const Sample &)> &value, bool ratio,
                             bool floor = false) {
        const QList<double> first = window(warm - 60, warm, value), last = window(end - 60, end, value);
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
                          .arg(qAbs(change) <= 10 ? "met" : "missed");
        } else {
            const bool flat = after <= before + qMax(2.0, before * 0.05);
            verdict = QStringLiteral("%1 → %2, %3").arg(before).arg(after).arg(flat ? "flat, met" : "grew, missed");
        }
        out << "| " << name << " | " << verdict << " |\n";
    };
    out << QStringLiteral("\n| target (minute %1 → last minute, medians) | measured |\n|---|---|\n")
               .arg(options_.warmupSeconds / 60);
    compare(QStringLiteral("PSS within 10% (MiB)"), [](const Sample &s) { return s.pssMiB; }, true);
    // The lowest sample of a minute tells a leak from the swings of texture
    // and media buffers better than the median: a leak raises the floor.
    compare(QStringLiteral("PSS, lowest sample of the minute (MiB)"), [](const Sample &s) { return s.pssMiB; }, true, true);
    compare(QStringLiteral("PSS of the browser process (MiB)"), [](const Sample &s) { return s.browserPssMiB; }, true);
    compare(QStringLiteral("threads of the tree, flat"), [](const Sample &s) { return double(s.threads); }, false);
    compare(QStringLiteral("threads of the browser process, flat"), [](const Sample &s) { return double(s.browserThreads); }, false);
    compare(QStringLiteral("descriptors of the tree, flat"), [](const Sample &s) { return double(s.fds); }, false);
    compare(QStringLiteral("descriptors of the browser process, flat"), [](const Sample &s) { return double(s.browserFds); }, false);
    compare(QStringLiteral("engine queues (UI + GUI + deferred), flat"), [&](const Sample &s) { return double(queued(s)); }, false);
    compare(QStringLiteral("browser objects alive, flat"), [&](const Sample &s) { return double(engine(s, "browsers")); }, false);
    qint64 longestSilence = 0;
    double maxQueued = 0;
    for (const Sample &s : samples_) {
        longestSilence = qMax(longestSilence, s.guiSilenceMs);
        maxQueued = qMax(maxQueued, double(queued(s)));
    }
    out << "| engine queues, most at any sample | " << maxQueued << " |\n";
    out << "| every recovery within 35 s | " << (recoveries_.isEmpty() ? QStringLiteral("none planned")
                                                  : QStringLiteral("worst %1 s, %2").arg(worstRecovery, 0, 'f', 1)
                                                        .arg(recoveredAll && worstRecovery <= 35 ? "met" : "missed"))
        << " |\n";
    out << "| GUI thread never silent for more than 1 s | longest " << longestSilence << " ms, "
        << (longestSilence <= 1000 ? "met" : "missed") << " (" << probe_.answered() << " pings answered) |\n";
    out.flush();
    file.close();
    file.open(QIODevice::ReadOnly);
    say(QStringLiteral("\n") + QString::fromUtf8(file.readAll()));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Unattended soak run of vmpclient against the demo platform."));
    parser.addHelpOption();
    Options options;
    struct IntOption
    {
        const char *name;
        int *value;
        const char *help;
    };
    const QList<IntOption> ints{
        {"seconds", &options.seconds, "Length of the run (1800)."},
        {"sample", &options.sampleSeconds, "Seconds between samples (10)."},
        {"switch-every", &options.switchSeconds, "Seconds between page switches (60)."},
        {"switch-phase", &options.switchPhase, "First page switch (60)."},
        {"home-for", &options.homeSeconds, "Seconds the other page stays before the cameras return (5)."},
        {"popup-every", &options.popupSeconds, "Seconds between popups (60)."},
        {"popup-phase", &options.popupPhase, "First popup (30)."},
        {"popup-for", &options.popupOpenSeconds, "Seconds a popup stays open (5)."},
        {"kill-every", &options.killSeconds, "Seconds between renderer kills (600)."},
        {"kill-phase", &options.killPhase, "First renderer kill (345)."},
        {"outage-every", &options.outageEverySeconds, "Seconds between platform outages (900)."},
        {"outage-phase", &options.outagePhase, "First outage (390)."},
        {"outage-for", &options.outageSeconds, "Seconds an outage lasts (60)."},
        {"warmup", &options.warmupSeconds, "End of the reference minute for the targets (300)."},
    };
    for (const IntOption &option : ints)
        parser.addOption(QCommandLineOption(QLatin1String(option.name), QLatin1String(option.help), QStringLiteral("S")));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Folder for the results."),
                                       QStringLiteral("DIR"), QStringLiteral("soak"));
    const QCommandLineOption machineOption(QStringLiteral("machine"), QStringLiteral("Machine line for the report."),
                                           QStringLiteral("TEXT"));
    parser.addOptions({outOption, machineOption});
    parser.process(app);
    for (const IntOption &option : ints) {
        if (parser.isSet(QLatin1String(option.name)))
            *option.value = parser.value(QLatin1String(option.name)).toInt();
    }
    options.outDir = QDir(parser.value(outOption)).absolutePath();
    options.machine = parser.value(machineOption);
    ::signal(SIGINT, interrupt);
    ::signal(SIGTERM, interrupt);
    return Soak(options).run();
}
