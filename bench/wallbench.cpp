#include "wallbench.h"

#include "screenupdates.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "clientsession.h"
#include "devtools.h"
#include "guiprobe.h"
#include "platformserver.h"
#include "proctree.h"
#include "x11util.h"

namespace {

const int Cameras = 4;
const int StartTimeoutMs = 60000;
// PSS is read this often over the window; its mean is reported.
const int PssEveryMs = 5000;

// The wall's videos as the page sees them: how many there are and play, and
// their frames so far, summed over all of them.
struct Frames
{
    bool ok = false;
    int videos = 0;
    int playing = 0;
    qint64 shown = 0;
    qint64 dropped = 0;

    static Frames read(DevTools &devTools, const QString &url)
    {
        static const char script[] =
            "(function(){var v=document.querySelectorAll('video'),p=0,s=0,d=0;"
            "for(var i=0;i<v.length;++i){var q=v[i].getVideoPlaybackQuality();"
            "s+=q.totalVideoFrames-q.droppedVideoFrames;d+=q.droppedVideoFrames;"
            "if(!v[i].paused&&v[i].currentTime>0)++p;}"
            "return [v.length,p,s,d].join(' ');})()";
        Frames frames;
        const QStringList fields = devTools.evaluate(url, QLatin1String(script)).split(QLatin1Char(' '));
        if (fields.size() != 4)
            return frames;
        frames.ok = true;
        frames.videos = fields.at(0).toInt();
        frames.playing = fields.at(1).toInt();
        frames.shown = fields.at(2).toLongLong();
        frames.dropped = fields.at(3).toLongLong();
        return frames;
    }
};

WallBench::Run failed(const QString &why)
{
    WallBench::Run run;
    run.failure = why;
    return run;
}

} // namespace

bool WallBench::setUp(QString *error)
{
    QRandomGenerator *random = QRandomGenerator::global();
    address = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
    if (!server.start(QHostAddress(address), 80, error))
        return false;
    server.server()->setStreamFile(settings.streamFile);
    return true;
}

QString WallBench::camerasUrl() const
{
    return QStringLiteral("http://%1/cameras").arg(address);
}

WallBench::Run WallBench::runClient()
{
    ClientSession session;
    DevTools devTools;
    session.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools.address());
    if (!session.start(QStringList(), settings.client))
        return failed(QStringLiteral("vmpclient did not start"));
    const unsigned long login = session.waitForLoginWindow(StartTimeoutMs);
    if (!login || !session.login(login, address, QStringLiteral("operator"), QStringLiteral("pw")))
        return failed(QStringLiteral("could not log in"));
    const unsigned long view = session.waitForViewWindow(StartTimeoutMs);
    if (!view)
        return failed(QStringLiteral("no view window after logging in"));
    // From the platform's start page to the wall, as the operator goes.
    const QString start = QStringLiteral("http://%1/").arg(address);
    if (!QTest::qWaitFor(
            [&] { return !devTools.evaluate(start, QStringLiteral("location.href='/cameras';'ok'")).isNull(); },
            StartTimeoutMs))
        return failed(QStringLiteral("the platform's page did not appear after logging in"));
    return measure(session, devTools, view);
}

WallBench::Run WallBench::runChromium()
{
    ClientSession session;
    DevTools devTools;
    QTemporaryDir profile;
    // Root needs --no-sandbox. The machine has no network beyond the
    // platform, so whatever Chromium would fetch or update for itself is
    // turned off, and so are its bubbles and dialogs; it draws as it does by
    // default.
    const QStringList arguments{
        QStringLiteral("--no-sandbox"),
        QStringLiteral("--user-data-dir=") + profile.path(),
        QStringLiteral("--remote-debugging-port=") + devTools.address().section(QLatin1Char(':'), 1),
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-component-update"),
        QStringLiteral("--disable-sync"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--disable-quic"),
        QStringLiteral("--no-default-browser-check"),
        QStringLiteral("--disable-default-apps"),
        QStringLiteral("--disable-domain-reliability"),
        QStringLiteral("--disable-client-side-phishing-detection"),
        QStringLiteral("--disable-breakpad"),
        QStringLiteral("--metrics-recording-only"),
        QStringLiteral("--password-store=basic"),
        QStringLiteral("--noerrdialogs"),
        QStringLiteral("--disable-session-crashed-bubble"),
        QStringLiteral("--disable-features=Translate,MediaRouter,OptimizationHints"),
        QStringLiteral("--start-maximized"),
        QStringLiteral("--app=") + camerasUrl(),
    };
    if (!session.start(arguments, settings.chromium))
        return failed(QStringLiteral("chromium did not start"));
    // Its app window: the largest of the browser process's windows.
    unsigned long window = 0;
    (void)QTest::qWaitFor(
        [&] {
            int largest = 0;
            for (unsigned long candidate : x11::viewableWindowsOf(session.pid())) {
                const QSize size = x11::screenGeometry(candidate).size();
                if (size.width() * size.height() > largest) {
                    largest = size.width() * size.height();
                    window = candidate;
                }
            }
            return window != 0;
        },
        StartTimeoutMs);
    if (!window)
        return failed(QStringLiteral("no Chromium window"));
    return measure(session, devTools, window);
}

WallBench::Run WallBench::measure(ClientSession &session, DevTools &devTools, unsigned long window)
{
    const QString url = camerasUrl();
    Frames frames;
    if (!QTest::qWaitFor(
            [&] {
                frames = Frames::read(devTools, url);
                return frames.videos == Cameras && frames.playing == Cameras;
            },
            StartTimeoutMs))
        return failed(QStringLiteral("the wall did not play (%1 of %2 cameras)").arg(frames.playing).arg(Cameras));
    GuiProbe probe;
    if (!probe.start(window))
        return failed(QStringLiteral("no X display for the GUI probe"));
    QTest::qWait(settings.warmupSeconds * 1000);

    const qint64 pid = session.pid();
    ScreenUpdates updates;
    if (!updates.start())
        return failed(QStringLiteral("the X server counts no screen updates (no DAMAGE extension)"));
    const Frames before = Frames::read(devTools, url);
    QElapsedTimer clock;
    clock.start();
    const qint64 ticksBefore = proctree::cpuTicks(proctree::tree(pid));
    probe.takeLongestSilenceMs();
    double pssSum = 0;
    int pssSamples = 0;
    const qint64 windowMs = settings.windowSeconds * 1000LL;
    while (clock.elapsed() < windowMs) {
        QTest::qWait(int(qMin<qint64>(PssEveryMs, windowMs - clock.elapsed())));
        pssSum += proctree::pssKiB(proctree::tree(pid)) / 1024.0;
        ++pssSamples;
    }
    const qint64 ticks = proctree::cpuTicks(proctree::tree(pid)) - ticksBefore;
    const double seconds = clock.elapsed() / 1000.0;
    const qint64 updated = updates.count();
    Run run;
    run.longestSilenceMs = probe.takeLongestSilenceMs();
    const Frames after = Frames::read(devTools, url);
    if (!before.ok || !after.ok || after.playing != Cameras)
        return failed(QStringLiteral("the wall stopped playing (%1 of %2 cameras at the end)")
                          .arg(after.playing)
                          .arg(Cameras));
    if (session.process().state() == QProcess::NotRunning)
        return failed(QStringLiteral("the program exited"));
    run.ok = true;
    run.cpuSecondsPerMinute = double(ticks) / sysconf(_SC_CLK_TCK) / seconds * 60;
    run.pssMiB = pssSamples ? pssSum / pssSamples : 0;
    run.shownPerSecond = (after.shown - before.shown) / seconds;
    run.updatesPerSecond = updated / seconds;
    run.dropped = after.dropped - before.dropped;
    return run;
}
