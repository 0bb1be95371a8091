// Start-up, login and the platform's page on the real program.
#include "programtest.h"

#include <QDir>
#include <QLockFile>
#include <QRandomGenerator>

#include <algorithm>

#include "devtools.h"
#include "filetree.h"
#include "processutil.h"
#include "windowmanager.h"
#include "x11util.h"

namespace {

const QString binary = QStringLiteral(VMPCLIENT_PATH);
const QByteArray homePage = "<html><head><title>Platform home</title></head><body><p>Welcome</p>"
                            "<script>fetch('/rendered?title=' + encodeURIComponent(document.title));</script>"
                            "</body></html>";

QString decode(const QByteArray &value)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
}

} // namespace

void TestProgram::initTestCase()
{
    // Maximizing, activation and closing as on a desktop.
    QVERIFY(windowmanager::start(windowManager));
    // The program names no port: the platform listens on port 80 of a
    // loopback address of its own, as a server on the local network would.
    QRandomGenerator *random = QRandomGenerator::global();
    address = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
    QString error;
    QVERIFY2(server.start(QHostAddress(address), 80, &error), qPrintable(error));
    QVERIFY2(otherServer.start(QHostAddress(address), 0, &error), qPrintable(error));
}

void TestProgram::cleanupTestCase()
{
    windowManager.kill();
    windowManager.waitForFinished();
}

void TestProgram::init()
{
    PlatformServer::Route page;
    page.body = homePage;
    server.server()->setRoute("/", page);
    server.server()->setRoute("/rendered", PlatformServer::Route());
    server.server()->clearRequests();
}

QString TestProgram::neighbour(int last) const
{
    return address.section(QLatin1Char('.'), 0, 2) + QLatin1Char('.') + QString::number(last);
}

int TestProgram::countRequests(const QByteArray &path) const
{
    const QList<PlatformServer::Request> requests = server.server()->requests();
    return int(std::count_if(requests.begin(), requests.end(),
                             [&](const PlatformServer::Request &request) { return request.path == path; }));
}

bool TestProgram::startAndLogIn(ClientSession &session, const QString &target, const QString &password,
                                const QStringList &arguments)
{
    if (!session.start(arguments))
        return false;
    const unsigned long loginWindow = session.waitForLoginWindow();
    return loginWindow && session.login(loginWindow, target, QStringLiteral("operator"), password);
}

bool TestProgram::openPage(ClientSession &session, const QString &password)
{
    const int before = countRequests("/");
    return startAndLogIn(session, address, password)
        && QTest::qWaitFor([&] { return countRequests("/") > before; }, 30000) && session.waitForViewWindow();
}

bool TestProgram::closeView(ClientSession &session)
{
    const unsigned long view = session.waitForViewWindow();
    return view && x11::requestClose(view) && session.waitForExit() && session.exitedWith(0);
}

void TestProgram::subProcessRoleEndsAtOnce_data()
{
    QTest::addColumn<QString>("program"); // a link to the program, or empty for the program itself
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("cacheBefore");
    QTest::newRow("--typeface") << QString() << QStringList{"--typeface"} << false;
    QTest::newRow("program path dir--type") << QStringLiteral("dir--type/vmpclient") << QStringList() << false;
    QTest::newRow("--typeface beside our own .cache") << QString() << QStringList{"--typeface"} << true;
}

// A sub-process prints "subprocess" and exits with 255 at once: no window,
// nothing under HOME, and the browser process's cache left alone.
void TestProgram::subProcessRoleEndsAtOnce()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, cacheBefore);
    ClientSession session;
    QTemporaryDir linkDir;
    const QString linked = linkDir.filePath(program);
    QVERIFY(program.isEmpty() || (QDir().mkpath(QFileInfo(linked).path()) && QFile::link(binary, linked)));
    const QString cache = session.workDir() + QStringLiteral("/.cache");
    QVERIFY(!cacheBefore || (QDir().mkpath(cache) && writeFile(cache + "/vmpclient-owns-this-directory")
                             && writeFile(cache + "/Local Storage/leveldb/000003.log")));
    const QMap<QString, QString> before = snapshot(session.workDir());

    QVERIFY(session.start(arguments, program.isEmpty() ? QString() : linked));
    bool windowSeen = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            windowSeen = windowSeen || !session.windows().isEmpty();
            return session.process().state() == QProcess::NotRunning;
        },
        30000));
    QVERIFY(session.exitedWith(255));
    QCOMPARE(session.standardOutput(), QByteArray("subprocess\n"));
    QCOMPARE(session.standardError(), QByteArray());
    QVERIFY(!windowSeen);
    QCOMPARE(snapshot(session.workDir()), before);
    QVERIFY2(snapshot(session.homeDir()).isEmpty(), qPrintable(snapshot(session.homeDir()).keys().join(' ')));
}

void TestProgram::browserRoleRunsOnlyItselfAndClosesCleanly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("foreignCache");
    QTest::newRow("fresh directory") << QStringList() << false;
    QTest::newRow("capitals --TYPE=renderer") << QStringList{"--TYPE=renderer"} << false;
    // Started in the home directory, ".cache" is every program's cache.
    QTest::newRow("someone else's .cache") << QStringList() << true;
}

void TestProgram::browserRoleRunsOnlyItselfAndClosesCleanly()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, foreignCache);
    ClientSession session;
    const QString cache = session.workDir() + QStringLiteral("/.cache");
    QVERIFY(!foreignCache || writeFile(cache + "/other-program/data.bin", "someone else's"));
    const QMap<QString, QString> cacheBefore = snapshot(cache);

    QVERIFY(session.start(arguments));
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY(loginWindow);
    // Once the login window has painted, the engine starts. Waiting for a
    // renderer (forked by the zygote, so a grandchild) lets every kind of
    // sub-process show up; all of them must be this executable, never Qt's
    // own helper.
    QTRY_VERIFY_WITH_TIMEOUT(!proc::renderers(session.pid()).isEmpty(), 30000);
    const QList<qint64> engineProcesses = proc::descendants(session.pid());
    for (qint64 pid : engineProcesses) {
        const QString exe = proc::executable(pid); // empty when it ended since the listing
        QVERIFY2(exe.isEmpty() || exe == binary, qPrintable(exe + ": " + proc::commandLine(pid)));
    }
    // A marker in someone else's directory would have the next start empty it.
    QCOMPARE(QFileInfo(cache + QStringLiteral("/vmpclient-owns-this-directory")).isFile(), !foreignCache);

    QVERIFY(x11::requestClose(loginWindow));
    QVERIFY(session.waitForExit());
    QVERIFY(session.exitedWith(0));
    QCOMPARE(QString::fromLocal8Bit(session.standardError()), QString());
    // Only the engine's sub-processes write, each its one line.
    for (const QByteArray &line : session.standardOutput().split('\n'))
        QVERIFY2(line.isEmpty() || line == "subprocess", line.constData());
    for (qint64 pid : engineProcesses)
        QTRY_VERIFY2(proc::executable(pid).isEmpty(), qPrintable("left running: " + proc::commandLine(pid)));
    if (foreignCache)
        QCOMPARE(snapshot(cache), cacheBefore);
    // Mesa's shader cache and fontconfig's font cache are written by the
    // graphics driver and the font library for any program on this display;
    // the engine's own profile, cache and storage must not be under HOME.
    for (const QString &entry : snapshot(session.homeDir()).keys())
        QVERIFY2(QRegularExpression("^\\.cache(/(mesa_shader_cache|fontconfig)(/.*)?)?$").match(entry).hasMatch(),
                 qPrintable("written under HOME: " + entry));
}

void TestProgram::loginShowsPlatformPage()
{
    ClientSession session;
    // The remembered user name, Chinese and with characters that mean
    // something in a URL, comes from "set.txt"; the rest is typed.
    const QString user = QString::fromUtf8("张三 & co#1");
    QVERIFY(writeFile(QDir(session.workDir()).filePath(QStringLiteral("set.txt")), "10.0.0.1\n" + user.toUtf8()));
    QVERIFY(session.start());
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY2(loginWindow, "the login window did not appear");
    // The hidden browser asks nothing of any server before the login.
    QVERIFY(server.server()->requests().isEmpty());

    const QString password = QStringLiteral("p#ss?w+d%20 x:pass=y");
    QVERIFY(session.login(loginWindow, address, QString(), password));

    // The start URL reaches the server, and it decodes exactly what was typed.
    QTRY_VERIFY_WITH_TIMEOUT(countRequests("/") > 0, 60000);
    session.mark(QStringLiteral("start URL requested"));
    const PlatformServer::Request start = server.server()->requests().first();
    QCOMPARE(start.path, QByteArray("/"));
    const int split = start.query.indexOf(":pass=");
    QVERIFY(start.query.startsWith("user=") && split > 0);
    QCOMPARE(decode(start.query.mid(5, split - 5)), user);
    QCOMPARE(decode(start.query.mid(split + 6)), password);

    // The page ran in the browser with its title.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const PlatformServer::Request &request : server.server()->requests()) {
                if (request.path == "/rendered" && request.query == "title=Platform%20home")
                    return true;
            }
            return false;
        }(),
        30000);
    session.mark(QStringLiteral("page rendered"));

    // The view fills the screen, its browser fills the view, and the login
    // window is gone.
    const unsigned long view = session.waitForViewWindow();
    QVERIFY(view);
    QTRY_COMPARE_WITH_TIMEOUT(x11::screenGeometry(view).width(), x11::screenSize().width(), 20000);
    QVERIFY(x11::screenGeometry(view).height() > x11::screenSize().height() / 2);
    QTRY_VERIFY_WITH_TIMEOUT(!x11::isViewable(loginWindow), 20000);
    session.mark(QStringLiteral("view maximized"));
    // The children are listed afresh each time: the toolkit may replace a
    // native window, and a stale list would never show the fitted one.
    const auto browserFits = [view] {
        for (unsigned long child : x11::children(view)) {
            if (x11::isViewable(child) && x11::screenGeometry(child) == x11::screenGeometry(view))
                return true;
        }
        return false;
    };
    const auto describe = [view] {
        QString text = QStringLiteral("view %1; children:").arg(x11::describe(view));
        for (unsigned long child : x11::children(view))
            text += QLatin1Char(' ') + x11::describe(child);
        return text;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(browserFits(), qPrintable(describe()), 20000);

    // The address and the user name are remembered; the password is not.
    QCOMPARE(session.readFile(QStringLiteral("set.txt")), address + QLatin1Char('\n') + user);

    // Closing the view ends the program cleanly and leaves nothing running.
    const QList<qint64> engineProcesses = proc::descendants(session.pid());
    QVERIFY(!engineProcesses.isEmpty());
    QVERIFY(closeView(session));
    for (qint64 pid : engineProcesses)
        QTRY_VERIFY2(proc::executable(pid).isEmpty(), qPrintable(proc::commandLine(pid)));
}

void TestProgram::invalidAddressKeepsLoginWindow()
{
    ClientSession session;
    QVERIFY(session.start());
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY(loginWindow);
    QVERIFY(session.login(loginWindow, QStringLiteral("1.2.3.256"), QStringLiteral("admin"), QStringLiteral("secret")));

    // The warning box appears over the login window; closing it leaves the
    // login window as it was, and nothing is remembered.
    unsigned long warning = 0;
    QTRY_VERIFY_WITH_TIMEOUT((warning = x11::findWindows(QStringLiteral("warning")).value(0)) != 0, 20000);
    QVERIFY(x11::isViewable(loginWindow));
    QVERIFY(!QFile::exists(QDir(session.workDir()).filePath(QStringLiteral("set.txt"))));
    QVERIFY(x11::requestClose(warning));
    QTRY_VERIFY_WITH_TIMEOUT(x11::findWindows(QStringLiteral("warning")).isEmpty(), 20000);

    // Closing the login window without a login ends the program with 0.
    QVERIFY(x11::requestClose(loginWindow));
    QVERIFY(session.waitForExit());
    QVERIFY(session.exitedWith(0));
}

void TestProgram::popupRoads_data()
{
    QTest::addColumn<bool>("selfClosing");
    // Was: the program never exited, and kept ".cache.lock", when its window
    // was closed while a popup of the page was open.
    QTest::newRow("main window closed with the popup open") << false;
    QTest::newRow("popup closes itself") << true;
}

void TestProgram::popupRoads()
{
    QFETCH(bool, selfClosing);
    // The platform's page opens a popup as soon as it loads, and tells the
    // server once the popup has gone.
    PlatformServer::Route page;
    page.body = QByteArray("<html><head><title>Opener</title></head><body><script>"
                           "var w = window.open('") + (selfClosing ? "/popup-closes" : "/popup-stays")
        + "', 'camera', 'width=320,height=240');"
          "var t = setInterval(function () { if (w.closed) { clearInterval(t); fetch('/opener-alive'); } }, 50);"
          "</script></body></html>";
    server.server()->setRoute("/", page);
    PlatformServer::Route stays;
    stays.body = "<html><head><title>Camera</title></head><body>Camera 1</body></html>";
    server.server()->setRoute("/popup-stays", stays);
    PlatformServer::Route closes;
    closes.body = "<html><head><title>Camera</title></head><body><script>"
                  "window.addEventListener('load', function () { window.close(); });</script></body></html>";
    server.server()->setRoute("/popup-closes", closes);
    server.server()->setRoute("/opener-alive", PlatformServer::Route());

    ClientSession session;
    QVERIFY(openPage(session));
    const unsigned long view = session.waitForViewWindow();
    QTRY_VERIFY_WITH_TIMEOUT(countRequests(selfClosing ? "/popup-closes" : "/popup-stays") > 0, 30000);
    session.mark(QStringLiteral("popup requested"));
    if (selfClosing) {
        // The popup goes with its window; the opener lives on and notices.
        QTRY_VERIFY_WITH_TIMEOUT(countRequests("/opener-alive") > 0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(session.windows(), QList<unsigned long>{view}, 20000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(session.windows().size(), 2, 30000);
    }
    const QList<qint64> engineProcesses = proc::descendants(session.pid());
    QVERIFY(closeView(session));
    for (qint64 pid : engineProcesses)
        QTRY_VERIFY2(proc::executable(pid).isEmpty(), qPrintable(proc::commandLine(pid)));
    // The cache is free for the next start.
    QLockFile lock(QDir(session.workDir()).filePath(QStringLiteral(".cache.lock")));
    QVERIFY(lock.tryLock(0));
}

void TestProgram::reconnectsWhenThePlatformComesBack()
{
    // The platform's server is down when the user logs in.
    const QString later = neighbour(4);
    DevTools devTools;
    ClientSession session;
    session.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools.address());
    const QString password = QStringLiteral("p#ss?w+d%20 x:pass=y");
    QVERIFY(startAndLogIn(session, later, password));
    QTRY_VERIFY_WITH_TIMEOUT(devTools.evaluate(QString(), QStringLiteral("document.body.innerText"))
                                 .startsWith(QLatin1String("Failed to load URL")),
                             30000);
    session.mark(QStringLiteral("error page shown"));

    // It comes up a moment later; the platform's page replaces the error page
    // with no further input.
    PlatformServerThread platform;
    QString error;
    QVERIFY2(platform.start(QHostAddress(later), 80, &error), qPrintable(error));
    PlatformServer::Route page;
    page.body = homePage;
    platform.server()->setRoute("/", page);
    platform.server()->setRoute("/rendered", PlatformServer::Route());
    const auto targets = [&](const QByteArray &path) {
        QList<QByteArray> found;
        for (const PlatformServer::Request &request : platform.server()->requests()) {
            if (request.path == path)
                found << request.target;
        }
        return found;
    };
    QTRY_VERIFY_WITH_TIMEOUT(!targets("/rendered").isEmpty(), 60000);
    session.mark(QStringLiteral("platform's page shown"));
    QTRY_COMPARE(devTools.evaluate(QString(), QStringLiteral("document.hasFocus()")), QStringLiteral("true"));
    // The retry sent what the login sent, nothing more.
    QCOMPARE(targets("/"), QList<QByteArray>{"/?user=operator:pass=" + QUrl::toPercentEncoding(password)});
    QVERIFY(closeView(session));
}

QTEST_GUILESS_MAIN(TestProgram)
