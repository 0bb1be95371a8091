// The whole program from the login window to the platform's page, driven
// with real keyboard and mouse input, against a loopback platform server.
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include "clientsession.h"
#include "platformserver.h"
#include "platformserverthread.h"
#include "processutil.h"
#include "windowmanager.h"
#include "x11util.h"

class TestLoginEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginShowsPlatformPage();
    void invalidAddressKeepsLoginWindow();
    void popupRoads_data();
    void popupRoads();

private:
    bool requested(const QByteArray &path) const
    {
        for (const PlatformServer::Request &request : server.server()->requests()) {
            if (request.path == path)
                return true;
        }
        return false;
    }
    static QString decode(const QByteArray &value) { return QString::fromUtf8(QByteArray::fromPercentEncoding(value)); }

    QProcess windowManager;
    PlatformServerThread server;
    QString address;
};

void TestLoginEndToEnd::initTestCase()
{
    // A window manager, so that maximizing and closing work as on a desktop.
    QVERIFY(windowmanager::start(windowManager));

    // The platform on port 80 of a loopback address of its own, as a server
    // on the local network would be reached.
    QRandomGenerator *random = QRandomGenerator::global();
    address = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
    QString error;
    QVERIFY2(server.start(QHostAddress(address), 80, &error), qPrintable(error));

    // A page that reports its own title back, so that the test sees what the
    // browser shows.
    PlatformServer::Route page;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<html><head><title>Platform home</title></head><body><p>Welcome</p>"
                "<script>fetch('/rendered?title=' + encodeURIComponent(document.title));</script>"
                "</body></html>";
    server.server()->setRoute("/", page);
    PlatformServer::Route empty;
    empty.contentType = "text/plain";
    server.server()->setRoute("/rendered", empty);
}

void TestLoginEndToEnd::cleanupTestCase()
{
    windowManager.kill();
    windowManager.waitForFinished();
}

void TestLoginEndToEnd::loginShowsPlatformPage()
{
    server.server()->clearRequests();
    ClientSession session;
    // The remembered user name, Chinese and with characters that mean
    // something in a URL, comes from "set.txt"; the rest is typed.
    const QString user = QString::fromUtf8("张三 & co#1");
    {
        QFile settings(QDir(session.workDir()).filePath(QStringLiteral("set.txt")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("10.0.0.1\n" + user.toUtf8());
    }
    QVERIFY(session.start());
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY2(loginWindow, "the login window did not appear");

    // The hidden browser asks nothing of any server before the login.
    QVERIFY(server.server()->requests().isEmpty());

    const QString password = QStringLiteral("p#ss?w+d%20 x:pass=y");
    QVERIFY(session.login(loginWindow, address, QString(), password));

    // The start URL reaches the server, and it decodes exactly what was typed.
    QTRY_VERIFY_WITH_TIMEOUT(!server.server()->requests().isEmpty(), 60000);
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
    QVERIFY(x11::requestClose(view));
    QVERIFY(session.waitForExit());
    QCOMPARE(session.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(session.process().exitCode(), 0);
    for (qint64 pid : engineProcesses)
        QTRY_VERIFY2(proc::executable(pid).isEmpty(), qPrintable(proc::commandLine(pid)));
}

void TestLoginEndToEnd::invalidAddressKeepsLoginWindow()
{
    ClientSession session;
    QVERIFY(session.start());
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY(loginWindow);
    QVERIFY(session.login(loginWindow, QStringLiteral("1.2.3.256"), QStringLiteral("admin"), QStringLiteral("secret")));

    // The warning box appears over the login window; Return dismisses it.
    unsigned long warning = 0;
    QTRY_VERIFY_WITH_TIMEOUT((warning = [] {
                                 const QList<unsigned long> boxes = x11::findWindows(QStringLiteral("warning"));
                                 return boxes.isEmpty() ? 0ul : boxes.first();
                             }()) != 0,
                             20000);
    QVERIFY(x11::isViewable(loginWindow));
    QVERIFY(!QFile::exists(QDir(session.workDir()).filePath(QStringLiteral("set.txt"))));
    QVERIFY(x11::requestClose(warning));
    QTRY_VERIFY(x11::findWindows(QStringLiteral("warning")).isEmpty());

    // Closing the login window without a login ends the program with 0.
    QVERIFY(x11::requestClose(loginWindow));
    QVERIFY(session.waitForExit());
    QCOMPARE(session.process().exitCode(), 0);
}

void TestLoginEndToEnd::popupRoads_data()
{
    QTest::addColumn<bool>("selfClosing");
    // Was: the program never exited, and kept ".cache.lock", when its window
    // was closed while a popup of the page was open.
    QTest::newRow("main window closed with the popup open") << false;
    QTest::newRow("popup closes itself") << true;
}

void TestLoginEndToEnd::popupRoads()
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
    server.server()->clearRequests();

    ClientSession session;
    QVERIFY(session.start());
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY(loginWindow);
    QVERIFY(session.login(loginWindow, address, QStringLiteral("operator"), QStringLiteral("pw")));
    const unsigned long view = session.waitForViewWindow();
    QVERIFY(view);
    QTRY_VERIFY_WITH_TIMEOUT(requested(selfClosing ? "/popup-closes" : "/popup-stays"), 30000);
    session.mark(QStringLiteral("popup requested"));

    if (selfClosing) {
        // The popup goes with its window; the opener lives on and notices.
        QTRY_VERIFY_WITH_TIMEOUT(requested("/opener-alive"), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(session.windows(), QList<unsigned long>{view}, 20000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(session.windows().size(), 2, 30000);
    }
    const QList<qint64> engineProcesses = proc::descendants(session.pid());
    QVERIFY(x11::requestClose(view));
    QVERIFY(session.waitForExit());
    QCOMPARE(session.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(session.process().exitCode(), 0);
    for (qint64 pid : engineProcesses)
        QTRY_VERIFY2(proc::executable(pid).isEmpty(), qPrintable(proc::commandLine(pid)));
    // The cache is free for the next start.
    QLockFile lock(QDir(session.workDir()).filePath(QStringLiteral(".cache.lock")));
    QVERIFY(lock.tryLock(0));
}

QTEST_GUILESS_MAIN(TestLoginEndToEnd)
#include "tst_login_e2e.moc"
