// A day in the control room, compressed: the real vmpclient logged in to the
// demo platform through its login window, showing the camera wall for as
// long as the run lasts while pages are switched, popups opened and closed,
// renderers killed and the platform stopped and started again. Every few
// seconds it records the memory, threads and descriptors of the whole process
// tree, what the engine layer holds queued, and how long the GUI thread took
// to answer; for every renderer kill and every outage, how long the page took
// to come back. Writes a CSV file, a markdown report and the data for the
// plot (bench/soak.sh draws it). With --per-event, instead: each kind of
// event repeated many times, and the PSS it leaves behind per event.
#include <signal.h>

#include <functional>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include "clientsession.h"
#include "devtools.h"
#include "guiprobe.h"
#include "processutil.h"
#include "proctree.h"
#include "soakpagestate.h"
#include "soakreport.h"
#include "soaksamples.h"
#include "soakschedule.h"
#include "windowmanager.h"
#include "x11util.h"

namespace {

// Set by SIGINT and SIGTERM: the run stops early, cleans up and reports.
volatile sig_atomic_t g_interrupted = 0;

void interrupt(int)
{
    g_interrupted = 1;
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Soak
{
public:
    explicit Soak(const SoakOptions &options) : options(options) {}
    // The timed run, or the short run of repeated events; the exit code.
    int run();

private:
    bool setUp();
    void tearDown();
    double now() const { return clock.elapsed() / 1000.0; }

    QString evaluate(const QString &expression);
    SoakPageState state() { return SoakPageState::parse(evaluate(QLatin1String(SoakPageState::script))); }
    bool navigate(const QString &path);
    // Seconds until |wanted| is shown after |before|, or -1 after |timeoutS|.
    double waitShown(const QString &wanted, const SoakPageState &before, int timeoutS);
    void note(const QString &event);

    void switchPages();
    void cyclePopup();
    void killRenderer();
    void stopPlatform();
    void startPlatform();
    void outage();

    int runSchedule();
    int runPerEvent();
    // The memory of the browser process and of its tree once things have
    // settled.
    SoakPss settledPss();
    void sample();
    void readPlatform();

    const SoakOptions options;
    QProcess windowManager;
    QProcess platform;
    QString address;
    DevTools devTools;
    ClientSession session;
    unsigned long view = 0;
    GuiProbe probe;
    QElapsedTimer clock;
    QElapsedTimer sinceKill; // the last renderer kill of the per-event run
    QTimer sampler;
    QString engineStatsPath;
    QFile clientLog;
    SoakSamples samples;
    bool platformUp = true;
    int streamFetches = 0;
    QByteArray platformOutput;
};

bool Soak::setUp()
{
    QDir().mkpath(options.outDir);
    if (!windowmanager::start(windowManager)) {
        say(QStringLiteral("openbox did not start"));
        return false;
    }

    QRandomGenerator *random = QRandomGenerator::global();
    address = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
    platform.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&platform, &QProcess::readyRead, [this] { readPlatform(); });
    platform.start(QStringLiteral(VMP_DEMO_PLATFORM_PATH),
                    {QStringLiteral("--address"), address, QStringLiteral("--port"), QStringLiteral("80"),
                     QStringLiteral("--stream"), QStringLiteral(VMP_MEDIA_DIR "/clip-frag.mp4"),
                     QStringLiteral("--video"), QStringLiteral(VMP_MEDIA_DIR "/clip.mp4")});
    if (!QTest::qWaitFor([this] { return platformOutput.contains("Platform listening"); }, 20000)) {
        say(QStringLiteral("the demo platform did not start: ") + QString::fromLocal8Bit(platformOutput));
        return false;
    }

    engineStatsPath = QDir(options.outDir).filePath(QStringLiteral("engine-stats.txt"));
    QFile::remove(engineStatsPath);
    session.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools.address());
    session.setEnv(QStringLiteral("CEFQT_STATS_FILE"), engineStatsPath);
    for (const QString &pair : options.clientEnv)
        session.setEnv(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    clientLog.setFileName(QDir(options.outDir).filePath(QStringLiteral("client.log")));
    clientLog.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QObject::connect(&session.process(), &QProcess::readyReadStandardOutput,
                     [this] { clientLog.write(session.process().readAllStandardOutput()); });
    QObject::connect(&session.process(), &QProcess::readyReadStandardError,
                     [this] { clientLog.write(session.process().readAllStandardError()); });
    if (!session.start()) {
        say(QStringLiteral("vmpclient did not start"));
        return false;
    }
    const unsigned long login = session.waitForLoginWindow(60000);
    if (!login || !session.login(login, address, QStringLiteral("operator"), QStringLiteral("pw"))) {
        say(QStringLiteral("could not log in"));
        return false;
    }
    view = session.waitForViewWindow(60000);
    if (!view || waitShown(QStringLiteral("home"), SoakPageState(), 60) < 0) {
        say(QStringLiteral("the platform's page did not appear after logging in"));
        return false;
    }
    if (!probe.start(view)) {
        say(QStringLiteral("no X display for the GUI probe"));
        return false;
    }
    // The wall is what the run watches; the first load of the camera page
    // is not measured.
    if (!navigate(QStringLiteral("/cameras")) || waitShown(QStringLiteral("cameras"), SoakPageState(), 60) < 0) {
        say(QStringLiteral("the camera page did not play"));
        return false;
    }

    return options.perEvent || samples.openCsv(QDir(options.outDir).filePath(QStringLiteral("soak.csv")));
}

void Soak::tearDown()
{
    sampler.stop();
    probe.stop();
    session.killAll();
    if (platform.state() != QProcess::NotRunning) {
        platform.terminate();
        if (!platform.waitForFinished(10000))
            platform.kill();
    }
    windowManager.kill();
    windowManager.waitForFinished();
}

QString Soak::evaluate(const QString &expression)
{
    // The main page, whichever of the two pages it shows, or the error page
    // shown instead (made by the program, so its address is a data URL);
    // never the popup, whose address is "/popup".
    const QStringList prefixes{QStringLiteral("http://%1/cameras").arg(address),
                               QStringLiteral("http://%1/?").arg(address), QStringLiteral("data:text/html")};
    for (const QString &prefix : prefixes) {
        const QString answer = devTools.evaluate(prefix, expression);
        if (!answer.isNull())
            return answer;
    }
    return QString();
}

bool Soak::navigate(const QString &path)
{
    return !evaluate(QStringLiteral("location.href='%1';'ok'").arg(path)).isNull();
}

double Soak::waitShown(const QString &wanted, const SoakPageState &before, int timeoutS)
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
    samples.addEvent(now(), event);
    say(QStringLiteral("%1 s  %2").arg(now(), 7, 'f', 1).arg(event));
}

void Soak::switchPages()
{
    const SoakPageState before = state();
    if (!navigate(QStringLiteral("/?user=operator"))) {
        note(QStringLiteral("switch: no page to navigate"));
        return;
    }
    const double home = platformUp ? waitShown(QStringLiteral("home"), before, 30) : -1;
    QTest::qWait(options.homeSeconds * 1000);
    const SoakPageState atHome = state();
    navigate(QStringLiteral("/cameras"));
    const double cameras = platformUp ? waitShown(QStringLiteral("cameras"), atHome, 30) : -1;
    note(platformUp ? QStringLiteral("switch: home in %1 s, cameras again in %2 s").arg(home).arg(cameras)
                     : QStringLiteral("switch while the platform is down"));
}

void Soak::cyclePopup()
{
    const int before = session.windows().size();
    evaluate(QStringLiteral("window.open('/popup','popup','width=400,height=300');'ok'"));
    unsigned long popup = 0;
    (void)QTest::qWaitFor(
        [&] {
            for (unsigned long window : session.windows()) {
                if (x11::screenGeometry(window).size() != x11::screenGeometry(view).size())
                    popup = window;
            }
            return popup != 0;
        },
        20000);
    if (!popup) {
        note(QStringLiteral("popup: did not open"));
        return;
    }
    QTest::qWait(options.popupOpenSeconds * 1000);
    // Closed as a user closes it, through the window manager.
    x11::requestClose(popup);
    const bool closed = QTest::qWaitFor([&] { return session.windows().size() <= before; }, 20000);
    note(closed ? QStringLiteral("popup opened and closed") : QStringLiteral("popup: did not close"));
}

void Soak::killRenderer()
{
    const SoakPageState before = state();
    const QList<qint64> victims = proc::renderers(session.pid());
    for (qint64 pid : victims)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    const double at = now();
    note(QStringLiteral("renderer killed (%1 processes)").arg(victims.size()));
    const double seconds = waitShown(QStringLiteral("cameras"), before, options.recoveryTimeoutSeconds);
    samples.addRecovery(SoakRecovery{QStringLiteral("renderer killed"), at, seconds});
    note(QStringLiteral("renderer kill: page shown again after %1 s").arg(seconds));
}

void Soak::stopPlatform()
{
    platformOutput.clear();
    ::kill(static_cast<pid_t>(platform.processId()), SIGUSR1);
    if (!QTest::qWaitFor([this] { return platformOutput.contains("stopped serving"); }, 10000))
        note(QStringLiteral("the platform did not say that it stopped"));
    platformUp = false;
    note(QStringLiteral("platform stopped"));
}

void Soak::startPlatform()
{
    const SoakPageState before = state();
    platformOutput.clear();
    ::kill(static_cast<pid_t>(platform.processId()), SIGUSR2);
    if (!QTest::qWaitFor([this] { return platformOutput.contains("Platform listening"); }, 10000))
        note(QStringLiteral("the platform did not say that it serves again"));
    platformUp = true;
    const double at = now();
    note(QStringLiteral("platform serving again"));
    const double seconds = waitShown(QStringLiteral("cameras"), before, options.recoveryTimeoutSeconds);
    samples.addRecovery(SoakRecovery{QStringLiteral("platform down for %1 s").arg(options.outageSeconds), at, seconds});
    note(QStringLiteral("outage: page shown again after %1 s").arg(seconds));
}

void Soak::readPlatform()
{
    const QByteArray output = platform.readAll();
    streamFetches += output.count("GET /stream.mp4");
    // Only the status lines are wanted; the request log is not kept.
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("Platform"))
            platformOutput += line + '\n';
    }
}

void Soak::sample()
{
    samples.take(now(), session.pid(), engineStatsPath, probe.takeLongestSilenceMs(), streamFetches, platformUp);
    streamFetches = 0;
}

int Soak::run()
{
    if (!setUp()) {
        tearDown();
        return 1;
    }
    return options.perEvent ? runPerEvent() : runSchedule();
}

int Soak::runSchedule()
{
    const SoakSchedule schedule(options);
    say(QStringLiteral("Soak of %1 min against http://%2, %3 planned actions; output in %4")
            .arg(options.seconds / 60.0)
            .arg(address)
            .arg(schedule.steps().size())
            .arg(options.outDir));
    // Silences of the set-up (the wall's first load) are not the run's.
    probe.takeLongestSilenceMs();
    clock.start();
    QObject::connect(&sampler, &QTimer::timeout, [this] { sample(); });
    sampler.setTimerType(Qt::PreciseTimer);
    sampler.start(options.sampleSeconds * 1000);
    sample();

    for (const SoakSchedule::Step &next : schedule.steps()) {
        (void)QTest::qWaitFor([&] { return g_interrupted || clock.elapsed() >= next.atMs; },
                              int(qMax<qint64>(0, next.atMs - clock.elapsed())) + 1000);
        if (g_interrupted) {
            note(QStringLiteral("interrupted"));
            break;
        }
        if (session.process().state() == QProcess::NotRunning) {
            note(QStringLiteral("vmpclient has exited"));
            break;
        }
        switch (next.action) {
        case SoakAction::Switch: switchPages(); break;
        case SoakAction::Popup: cyclePopup(); break;
        case SoakAction::Kill: killRenderer(); break;
        case SoakAction::OutageStart: stopPlatform(); break;
        case SoakAction::OutageEnd: startPlatform(); break;
        }
    }
    (void)QTest::qWaitFor([this] { return g_interrupted || clock.elapsed() >= qint64(options.seconds) * 1000; },
                          int(qMax<qint64>(0, qint64(options.seconds) * 1000 - clock.elapsed())) + 1000);
    sample();
    tearDown();
    const QString report = SoakReport(options, samples)
                               .writeRun(QDir(options.outDir).filePath(QStringLiteral("soak.md")), probe.answered());
    if (!report.isNull())
        say(QStringLiteral("\n") + report);
    return 0;
}

void Soak::outage()
{
    stopPlatform();
    QTest::qWait(options.outageSeconds * 1000);
    startPlatform();
}

SoakPss Soak::settledPss()
{
    // Past the page's own start-up work; then the lowest of a few samples.
    QTest::qWait(5000);
    return SoakSamples::lowestPss(session.pid(), 5, 1000);
}

int Soak::runPerEvent()
{
    say(QStringLiteral("Per-event soak against http://%1: %2 events of each kind after %3 to warm up; output in %4")
            .arg(address)
            .arg(options.events)
            .arg(options.warmupEvents)
            .arg(options.outDir));
    clock.start();
    struct Kind
    {
        QString name, text;
        std::function<void()> run;
    };
    const QList<Kind> kinds{
        {QStringLiteral("popup"), QStringLiteral("popup opened and closed"), [this] { cyclePopup(); }},
        {QStringLiteral("switch"), QStringLiteral("page switch"), [this] { switchPages(); }},
        {QStringLiteral("kill"), QStringLiteral("renderer kill"),
         [this] {
             // The program reloads a page after at most three renderer
             // deaths a minute; more often, it takes the page itself for
             // the cause and leaves it be.
             if (sinceKill.isValid())
                 QTest::qWait(int(qMax<qint64>(0, 21000 - sinceKill.elapsed())));
             sinceKill.start();
             killRenderer();
         }},
        {QStringLiteral("outage"), QStringLiteral("outage"), [this] { outage(); }},
    };
    const auto running = [this] { return !g_interrupted && session.process().state() != QProcess::NotRunning; };
    for (const Kind &kind : kinds) {
        if (!options.kinds.contains(kind.name))
            continue;
        for (int i = 0; i < options.warmupEvents && running(); ++i)
            kind.run();
        if (!running())
            break;
        SoakEventCost cost;
        cost.kind = kind.text;
        cost.before = settledPss();
        for (; cost.events < options.events / 2 && running(); ++cost.events)
            kind.run();
        cost.firstHalf = cost.events;
        cost.middle = settledPss();
        for (; cost.events < options.events && running(); ++cost.events)
            kind.run();
        cost.after = settledPss();
        samples.addCost(cost);
        note(QStringLiteral("%1 × %2: browser %3 → %4 → %5 MiB, tree %6 → %7 → %8 MiB without mapped files; "
                            "the browser's mapped files %9 → %10 MiB")
                 .arg(cost.kind)
                 .arg(cost.events)
                 .arg(cost.before.browser, 0, 'f', 1)
                 .arg(cost.middle.browser, 0, 'f', 1)
                 .arg(cost.after.browser, 0, 'f', 1)
                 .arg(cost.before.tree, 0, 'f', 1)
                 .arg(cost.middle.tree, 0, 'f', 1)
                 .arg(cost.after.tree, 0, 'f', 1)
                 .arg(cost.before.browserFiles, 0, 'f', 1)
                 .arg(cost.after.browserFiles, 0, 'f', 1));
    }
    if (g_interrupted)
        note(QStringLiteral("interrupted"));
    tearDown();
    const QString report =
        SoakReport(options, samples).writePerEvent(QDir(options.outDir).filePath(QStringLiteral("per-event.md")));
    if (!report.isNull())
        say(QStringLiteral("\n") + report);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Unattended soak run of vmpclient against the demo platform."));
    parser.addHelpOption();
    SoakOptions options;
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
        {"events", &options.events, "With --per-event: events of each kind that are measured (100)."},
        {"warmup-events", &options.warmupEvents, "With --per-event: events of each kind before measuring (3)."},
    };
    for (const IntOption &option : ints)
        parser.addOption(QCommandLineOption(QLatin1String(option.name), QLatin1String(option.help), QStringLiteral("S")));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Folder for the results."),
                                       QStringLiteral("DIR"), QStringLiteral("soak"));
    const QCommandLineOption machineOption(QStringLiteral("machine"), QStringLiteral("Machine line for the report."),
                                           QStringLiteral("TEXT"));
    const QCommandLineOption kindsOption(
        QStringLiteral("kinds"), QStringLiteral("With --per-event: the kinds of event, of popup, switch, kill, outage."),
        QStringLiteral("LIST"), options.kinds.join(QLatin1Char(',')));
    const QCommandLineOption perEventOption(
        QStringLiteral("per-event"),
        QStringLiteral("Instead of the timed run: each kind of event (popup, page switch, renderer kill, outage) "
                       "repeated, and the PSS it leaves behind per event. Popups, the other page and outages "
                       "last 1, 1 and 3 s unless given."));
    const QCommandLineOption clientEnvOption(QStringLiteral("client-env"),
                                             QStringLiteral("A variable of vmpclient's environment (repeatable)."),
                                             QStringLiteral("NAME=VALUE"));
    parser.addOptions({outOption, machineOption, perEventOption, kindsOption, clientEnvOption});
    parser.process(app);
    options.perEvent = parser.isSet(perEventOption);
    options.kinds = parser.value(kindsOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    options.clientEnv = parser.values(clientEnvOption);
    if (options.perEvent) {
        options.popupOpenSeconds = 1;
        options.homeSeconds = 1;
        options.outageSeconds = 3;
    }
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
