// Measures vmpclient against baselines built from this folder, in alternating
// runs, on a loopback platform server, and prints a markdown table.
//   1. start to login window painted: vmpclient / an empty Qt Widgets window
//   2. login click to page loaded: vmpclient with its hidden browser ready /
//      a minimal Qt WebEngine program started cold on the same address
//   3. login click to page painted on the screen, same pair
//   4. PSS of the whole process tree showing that page, same pair
//   5. the camera wall (wallbench.h): vmpclient / Chromium in app mode
#include <algorithm>
#include <atomic>
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include "clientsession.h"
#include "platformserver.h"
#include "platformserverthread.h"
#include "proctree.h"
#include "wallbench.h"
#include "windowmanager.h"
#include "x11util.h"
#include "xprobe.h"

namespace {

const QString loginTitle = QString::fromUtf8("视频综合管理平台");
const QString emptyTitle = QStringLiteral("vmp-bench-empty");
const QSize loginSize(518, 221);
// Places on the login form, in window coordinates.
const QPoint passwordField(284, 130);
const QPoint loginButton(315, 181);

// The platform's start page: a little text and a form, and a beacon once it
// has loaded. Its background colour, which nothing else on the screen has,
// tells when the page is painted.
const unsigned int pageColour = 0x1d5c8c;
const char startPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Platform</title>"
    "<style>html{background:#1d5c8c;color:#fff}body{font-family:sans-serif;margin:2em}</style></head><body>"
    "<h1>Video management platform</h1><p>Cameras, recordings and alarms.</p>"
    "<form><input name=\"q\" placeholder=\"Search\"><button type=\"button\">Go</button></form>"
    "<script>window.addEventListener('load', function () { fetch('/loaded'); });</script>"
    "</body></html>";

struct Sample
{
    double value = 0;
    bool ok = false;
};

struct Series
{
    QVector<double> values;
    int failures = 0;
    void add(const Sample &s)
    {
        if (s.ok)
            values << s.value;
        else
            ++failures;
    }
    double median() const
    {
        if (values.isEmpty())
            return 0;
        QVector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const int n = sorted.size();
        return n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2;
    }
    QString describe(int decimals) const
    {
        if (values.isEmpty())
            return QStringLiteral("failed");
        const auto range = std::minmax_element(values.begin(), values.end());
        QString text = QStringLiteral("%1 (%2–%3)")
                           .arg(median(), 0, 'f', decimals)
                           .arg(*range.first, 0, 'f', decimals)
                           .arg(*range.second, 0, 'f', decimals);
        if (failures)
            text += QStringLiteral(", %1 failed").arg(failures);
        return text;
    }
};

class Bench
{
public:
    Bench(const QString &client, const QString &empty, const QString &browser)
        : clientProgram(client)
        , emptyProgram(empty)
        , browserProgram(browser)
    {
        clock.start();
        background = QApplication::palette().color(QPalette::Window).rgb() & 0xffffff;
    }

    ~Bench()
    {
        if (windowManager.state() != QProcess::NotRunning) {
            windowManager.kill();
            windowManager.waitForFinished();
        }
    }

    bool setUp(QString *error)
    {
        if (!probe.isOpen()) {
            *error = QStringLiteral("no X display");
            return false;
        }
        // Focus and activation behave as on a desktop only with a window
        // manager.
        if (!x11::windowManagerRunning() && !windowmanager::start(windowManager)) {
            *error = QStringLiteral("openbox did not start");
            return false;
        }
        // Port 80 of a loopback address, as the client has no way to name a
        // port.
        QRandomGenerator *random = QRandomGenerator::global();
        address = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
        if (!server.start(QHostAddress(address), 80, error)) {
            *error += QStringLiteral(" (port 80 needs root or the CAP_NET_BIND_SERVICE capability)");
            return false;
        }
        PlatformServer::Route page;
        page.body = startPage;
        server.server()->setRoute("/", page);
        PlatformServer::Route beacon;
        beacon.status = 204;
        server.server()->setRoute("/loaded", beacon);
        QObject::connect(
            server.server(), &PlatformServer::requestReceived, server.server(),
            [this](const PlatformServer::Request &request) {
                qint64 none = 0;
                if (request.path == "/loaded")
                    loadedAt.compare_exchange_strong(none, clock.nsecsElapsed());
                else if (request.path == "/")
                    requestedAt.compare_exchange_strong(none, clock.nsecsElapsed());
            },
            Qt::DirectConnection);
        return true;
    }

    QString startUrl() const { return QStringLiteral("http://%1/?user=bench:pass=secret").arg(address); }

    // Milliseconds from the start of the program to its window's first frame.
    Sample startToWindow(bool client)
    {
        ClientSession session;
        const qint64 start = clock.nsecsElapsed();
        Sample sample;
        if (!session.start(QStringList(), client ? clientProgram : emptyProgram))
            return sample;
        const QString title = client ? loginTitle : emptyTitle;
        unsigned long window = 0;
        sample.ok = waitFor(
            [&] {
                if (!window)
                    window = findWindow(session.pid(), title);
                return window && probe.showsColour(window, background, 90);
            },
            30000, 1);
        sample.value = (clock.nsecsElapsed() - start) / 1e6;
        return sample;
    }

    struct PageRun
    {
        Sample loadMs;
        Sample paintMs;
        Sample pssMiB;
        double requestMs = 0; // until the page itself was asked for
    };

    // vmpclient: login window up, hidden browser created and idle; then the
    // time from the click on the login button to the page's beacon.
    PageRun clientPage()
    {
        PageRun run;
        ClientSession session;
        // The address and user name come from the settings file, as on a
        // second start.
        QFile settings(QDir(session.workDir()).filePath(QStringLiteral("set.txt")));
        if (!settings.open(QIODevice::WriteOnly) || settings.write((address + "\nbench").toUtf8()) < 0)
            return run;
        settings.close();
        clearScreen();
        if (!session.start(QStringList(), clientProgram))
            return run;
        const qint64 pid = session.pid();
        unsigned long window = 0;
        if (!waitFor(
                [&] {
                    if (!window)
                        window = findWindow(pid, loginTitle);
                    return window && probe.showsColour(window, background, 90);
                },
                30000))
            return run;
        // The hidden browser is there once its engine processes are, and
        // done starting once they are quiet.
        if (!waitFor([&] { return proctree::tree(pid).size() > 2; }, 30000))
            return run;
        proctree::waitQuiet(pid, 500, 5, 30000);
        const QString id = QString::number(window);
        const bool typed = xdotool({"windowactivate", "--sync", id})
                           && xdotool({"mousemove", "--window", id, QString::number(passwordField.x()),
                                       QString::number(passwordField.y()), "click", "1"})
                           && xdotool({"type", "--delay", "20", "secret"});
        proctree::waitQuiet(pid, 300, 5, 10000);
        if (!typed || !probe.moveTo(window, loginButton))
            return run;
        loadedAt = 0;
        requestedAt = 0;
        const qint64 clickedAt = clock.nsecsElapsed();
        probe.click();
        waitForPage(clickedAt, &run);
        if (run.loadMs.ok)
            run.pssMiB = memoryOf(pid);
        return run;
    }

    // The minimal program, from its start to the page's beacon.
    PageRun baselinePage()
    {
        PageRun run;
        ClientSession session;
        // The same engine switches as vmpclient sets for itself.
        session.setEnv(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        session.setEnv(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--log-level=3"));
        loadedAt = 0;
        requestedAt = 0;
        clearScreen();
        const qint64 start = clock.nsecsElapsed();
        if (!session.start({startUrl()}, browserProgram))
            return run;
        waitForPage(start, &run);
        if (run.loadMs.ok)
            run.pssMiB = memoryOf(session.pid());
        return run;
    }

private:
    // The last run's page may still be on the screen for a moment after its
    // program has gone; a new run starts once it is not.
    void clearScreen() { waitFor([&] { return !probe.screenShowsColour(pageColour, 1); }, 10000); }

    // Until the page has both loaded and shown up on the screen, measured
    // from |from|.
    void waitForPage(qint64 from, PageRun *run)
    {
        qint64 paintedAt = 0;
        waitFor(
            [&] {
                if (!paintedAt && probe.screenShowsColour(pageColour, 90))
                    paintedAt = clock.nsecsElapsed();
                return loadedAt.load() != 0 && paintedAt != 0;
            },
            30000, 2);
        run->loadMs.ok = loadedAt.load() != 0;
        run->loadMs.value = (loadedAt.load() - from) / 1e6;
        run->paintMs.ok = paintedAt != 0;
        run->paintMs.value = (paintedAt - from) / 1e6;
        run->requestMs = (requestedAt.load() - from) / 1e6;
    }

    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs, int pollMs = 5)
    {
        QElapsedTimer waited;
        waited.start();
        while (!condition()) {
            if (waited.elapsed() > timeoutMs)
                return false;
            QThread::msleep(static_cast<unsigned long>(pollMs));
        }
        return true;
    }

    // Once the page has settled: the whole tree's PSS, in MiB.
    Sample memoryOf(qint64 pid)
    {
        Sample sample;
        proctree::waitQuiet(pid, 500, 5, 20000);
        const qint64 kib = proctree::pssKiB(proctree::tree(pid));
        sample.ok = kib > 0;
        sample.value = kib / 1024.0;
        return sample;
    }

    // A viewable top-level window of process |pid| with this name and the
    // login window's size, or 0.
    static unsigned long findWindow(qint64 pid, const QString &name)
    {
        for (unsigned long window : x11::findWindows(name)) {
            if (x11::windowPid(window) == pid && x11::isViewable(window)
                && x11::screenGeometry(window).size() == loginSize)
                return window;
        }
        return 0;
    }

    static bool xdotool(const QStringList &arguments)
    {
        return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
    }

    QString clientProgram;
    QString emptyProgram;
    QString browserProgram;
    QElapsedTimer clock;
    unsigned int background = 0;
    XProbe probe;
    QProcess windowManager;
    PlatformServerThread server;
    QString address;
    std::atomic<qint64> loadedAt{0};
    std::atomic<qint64> requestedAt{0};
};

QString verdict(double ratio, double target)
{
    return ratio <= target ? QStringLiteral("met") : QStringLiteral("missed");
}

void progress(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// The camera wall, vmpclient and Chromium alternating (ABBA), and its table;
// false when a run failed.
bool runWall(const WallBench::Settings &settings, int runs)
{
    WallBench bench(settings);
    QString error;
    if (!bench.setUp(&error)) {
        progress(QStringLiteral("camera wall set-up failed: ") + error);
        return false;
    }
    // Index 0: vmpclient, 1: Chromium.
    Series cpu[2], pss[2], shown[2], updates[2], dropped[2], silence[2];
    for (int i = 0; i < runs; ++i) {
        const bool clientFirst = i % 2 == 1;
        for (int k = 0; k < 2; ++k) {
            const bool client = (k == 0) == clientFirst;
            const WallBench::Run run = client ? bench.runClient() : bench.runChromium();
            const int side = client ? 0 : 1;
            cpu[side].add({run.cpuSecondsPerMinute, run.ok});
            pss[side].add({run.pssMiB, run.ok});
            shown[side].add({run.shownPerSecond, run.ok});
            updates[side].add({run.updatesPerSecond, run.ok});
            dropped[side].add({double(run.dropped), run.ok});
            silence[side].add({double(run.longestSilenceMs), run.ok});
            progress(QStringLiteral("wall %1 %2: %3")
                         .arg(client ? "vmpclient" : "chromium")
                         .arg(i + 1)
                         .arg(run.ok ? QStringLiteral("%1 CPU s/min, %2 MiB, %3 frames/s shown, %4 screen "
                                                      "updates/s, %5 dropped, GUI silent %6 ms at most")
                                           .arg(run.cpuSecondsPerMinute, 0, 'f', 1)
                                           .arg(run.pssMiB, 0, 'f', 1)
                                           .arg(run.shownPerSecond, 0, 'f', 1)
                                           .arg(run.updatesPerSecond, 0, 'f', 1)
                                           .arg(run.dropped)
                                           .arg(run.longestSilenceMs)
                                     : QStringLiteral("failed: ") + run.failure));
        }
    }

    const bool noneDropped = !dropped[0].values.isEmpty()
                             && *std::max_element(dropped[0].values.begin(), dropped[0].values.end()) == 0;
    struct Row
    {
        const char *name;
        const Series *series;
        double target; // of the ratio; 0: none
        int decimals;
    };
    const Row rows[] = {
        {"CPU s per minute, whole process tree", cpu, 1.0, 1},
        {"PSS of the process tree (MiB)", pss, 0.8, 1},
        {"frames shown per second, all cameras", shown, 0, 1},
        {"screen updates per second (X damage)", updates, 0, 1},
        {"frames dropped in the window", dropped, 0, 0},
        {"longest GUI silence (ms)", silence, 0, 0},
    };
    std::printf("\n| Camera wall, 4 × 1280x720 25 fps H.264 | vmpclient: median (min–max) "
                "| Chromium app mode: median (min–max) | ratio | target |\n|---|---|---|---|---|\n");
    bool measured = true;
    for (const Row &row : rows) {
        const Series &client = row.series[0];
        const Series &peer = row.series[1];
        const bool both = !client.values.isEmpty() && !peer.values.isEmpty();
        measured = measured && both && !client.failures && !peer.failures;
        const double ratio = both && peer.median() > 0 ? client.median() / peer.median() : 0;
        QString target = QStringLiteral("–");
        if (row.series == cpu)
            target = QStringLiteral("≤ 1.00x with 0 frames dropped %1")
                         .arg(ratio > 0 ? QString::fromLatin1(noneDropped && ratio <= row.target ? "met" : "missed") : QStringLiteral("not measured"));
        else if (row.series == dropped)
            target = QStringLiteral("0 %1").arg(noneDropped ? "met" : "missed");
        else if (row.target > 0)
            target = QStringLiteral("≤ %1x %2")
                         .arg(row.target, 0, 'f', 2)
                         .arg(ratio > 0 ? verdict(ratio, row.target) : QStringLiteral("not measured"));
        std::printf("| %s | %s | %s | %s | %s |\n", row.name, qPrintable(client.describe(row.decimals)),
                    qPrintable(peer.describe(row.decimals)),
                    ratio > 0 ? qPrintable(QStringLiteral("%1x").arg(ratio, 0, 'f', 2)) : "–", qPrintable(target));
    }
    std::printf("\n%d runs of each program, alternating, %d s of warm-up, then %d s measured; Chromium started as "
                "`chromium --app=http://ADDRESS/cameras`.\n",
                runs, settings.warmupSeconds, settings.windowSeconds);
    return measured;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Benchmarks vmpclient against plain Qt programs."));
    parser.addHelpOption();
    const QCommandLineOption clientOption(QStringLiteral("client"), QStringLiteral("vmpclient executable."),
                                          QStringLiteral("PATH"));
    const QCommandLineOption emptyOption(QStringLiteral("empty"), QStringLiteral("Empty-window baseline."),
                                         QStringLiteral("PATH"));
    const QCommandLineOption browserOption(QStringLiteral("browser"), QStringLiteral("Minimal browser baseline."),
                                           QStringLiteral("PATH"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each program (at least 5)."),
                                        QStringLiteral("N"), QStringLiteral("9"));
    const QCommandLineOption partsOption(
        QStringLiteral("parts"), QStringLiteral("Comma-separated parts to run: start, page, wall (default all)."),
        QStringLiteral("LIST"), QStringLiteral("start,page,wall"));
    const QCommandLineOption chromiumOption(QStringLiteral("chromium"),
                                            QStringLiteral("Chromium, the camera wall's peer (default chromium)."),
                                            QStringLiteral("PATH"), QStringLiteral("chromium"));
    const QCommandLineOption streamOption(QStringLiteral("wall-stream"),
                                          QStringLiteral("Fragmented MP4 that every camera of the wall plays."),
                                          QStringLiteral("FILE"));
    const auto number = [](const char *name, const char *help, const char *byDefault) {
        return QCommandLineOption(QLatin1String(name), QLatin1String(help), QStringLiteral("N"),
                                  QLatin1String(byDefault));
    };
    const QCommandLineOption wallRunsOption = number("wall-runs", "Camera-wall runs of each program (default 2).", "2");
    const QCommandLineOption warmupOption =
        number("wall-warmup", "Seconds the wall plays before it is measured (default 15).", "15");
    const QCommandLineOption windowOption =
        number("wall-window", "Seconds over which the wall is measured (default 45).", "45");
    parser.addOptions({clientOption, emptyOption, browserOption, runsOption, partsOption, chromiumOption,
                       streamOption, wallRunsOption, warmupOption, windowOption});
    parser.process(app);
    const int runs = qMax(5, parser.value(runsOption).toInt());
    const QStringList parts = parser.value(partsOption).split(QLatin1Char(','));
    if (!parser.isSet(clientOption) || !parser.isSet(emptyOption) || !parser.isSet(browserOption)) {
        progress(QStringLiteral("--client, --empty and --browser are required"));
        return 2;
    }
    const bool wall = parts.contains(QStringLiteral("wall"));
    if (wall && !parser.isSet(streamOption)) {
        progress(QStringLiteral("the wall needs --wall-stream"));
        return 2;
    }

    // The programs run in directories of their own.
    const auto absolute = [&](const QCommandLineOption &option) {
        return QFileInfo(parser.value(option)).absoluteFilePath();
    };
    Bench bench(absolute(clientOption), absolute(emptyOption), absolute(browserOption));
    QString error;
    if (!bench.setUp(&error)) {
        progress(QStringLiteral("set-up failed: ") + error);
        return 1;
    }

    // Alternating order (ABBA) so that drift in the machine's load falls on
    // both sides alike.
    Series startClient;
    Series startEmpty;
    for (int i = 0; i < runs && parts.contains(QStringLiteral("start")); ++i) {
        const bool clientFirst = i % 2 == 1;
        for (int k = 0; k < 2; ++k) {
            const bool client = (k == 0) == clientFirst;
            const Sample sample = bench.startToWindow(client);
            (client ? startClient : startEmpty).add(sample);
            progress(QStringLiteral("start %1 %2: %3")
                         .arg(client ? "vmpclient" : "empty-window")
                         .arg(i + 1)
                         .arg(sample.ok ? QString::number(sample.value, 'f', 1) + QStringLiteral(" ms") : QStringLiteral("failed")));
        }
    }

    Series loadClient;
    Series loadBaseline;
    Series paintClient;
    Series paintBaseline;
    Series memClient;
    Series memBaseline;
    for (int i = 0; i < runs && parts.contains(QStringLiteral("page")); ++i) {
        const bool clientFirst = i % 2 == 1;
        for (int k = 0; k < 2; ++k) {
            const bool client = (k == 0) == clientFirst;
            const Bench::PageRun run = client ? bench.clientPage() : bench.baselinePage();
            (client ? loadClient : loadBaseline).add(run.loadMs);
            (client ? paintClient : paintBaseline).add(run.paintMs);
            (client ? memClient : memBaseline).add(run.pssMiB);
            const auto ms = [](const Sample &s) {
                return s.ok ? QString::number(s.value, 'f', 1) + QStringLiteral(" ms") : QStringLiteral("failed");
            };
            progress(QStringLiteral("page %1 %2: loaded %3, painted %4 (page asked for after %6 ms), %5")
                         .arg(client ? "vmpclient" : "minimal-browser")
                         .arg(i + 1)
                         .arg(ms(run.loadMs), ms(run.paintMs))
                         .arg(run.pssMiB.ok ? QString::number(run.pssMiB.value, 'f', 1) + QStringLiteral(" MiB") : QStringLiteral("failed"))
                         .arg(run.requestMs, 0, 'f', 1));
        }
    }

    struct Row
    {
        QString name;
        const Series &client;
        const Series &baseline;
        double target;
        int decimals;
    };
    const Row rows[] = {
        {QStringLiteral("Start → login window painted (ms) vs. empty Qt window"), startClient, startEmpty, 1.2, 1},
        {QStringLiteral("Login click → page loaded (ms) vs. minimal Qt WebEngine, cold"), loadClient, loadBaseline,
         0.25, 1},
        {QStringLiteral("Login click → page painted on the screen (ms) vs. minimal Qt WebEngine, cold"), paintClient,
         paintBaseline, 0.25, 1},
        {QStringLiteral("PSS of process tree showing the page (MiB) vs. minimal Qt WebEngine"), memClient, memBaseline,
         0.85, 1},
    };
    const bool startOrPage = parts.contains(QStringLiteral("start")) || parts.contains(QStringLiteral("page"));
    if (startOrPage) {
        std::printf("| Benchmark | vmpclient: median (min–max) | baseline: median (min–max) | ratio | target |\n");
        std::printf("|---|---|---|---|---|\n");
    }
    bool allMeasured = true;
    for (const Row &row : rows) {
        // A part that was not asked for has no row.
        if (row.client.values.isEmpty() && row.baseline.values.isEmpty() && !row.client.failures
            && !row.baseline.failures)
            continue;
        const bool measured = !row.client.values.isEmpty() && !row.baseline.values.isEmpty();
        const double ratio = measured ? row.client.median() / row.baseline.median() : 0;
        allMeasured = allMeasured && measured;
        std::printf("| %s | %s | %s | %s | ≤ %.2fx %s |\n", qPrintable(row.name),
                    qPrintable(row.client.describe(row.decimals)), qPrintable(row.baseline.describe(row.decimals)),
                    measured ? qPrintable(QStringLiteral("%1x").arg(ratio, 0, 'f', 2)) : "–", row.target,
                    measured ? qPrintable(verdict(ratio, row.target)) : "not measured");
    }
    if (startOrPage)
        std::printf("\n%d runs of each program, alternating; Qt %s.\n", runs, qVersion());
    if (wall) {
        WallBench::Settings settings;
        settings.client = absolute(clientOption);
        settings.chromium = parser.value(chromiumOption);
        settings.streamFile = absolute(streamOption);
        settings.warmupSeconds = qMax(1, parser.value(warmupOption).toInt());
        settings.windowSeconds = qMax(5, parser.value(windowOption).toInt());
        allMeasured = runWall(settings, qMax(1, parser.value(wallRunsOption).toInt())) && allMeasured;
    }
    return allMeasured ? 0 : 1;
}
