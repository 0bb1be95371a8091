// Pages that behave as an attacker would: dialogs without end, questions
// whose window goes, addresses of any length; and an engine module that is
// missing. The program stays alive, answers the operator and goes idle.
#include "programtest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

#include <unistd.h>

#include "devtools.h"
#include "processutil.h"
#include "useractions.h"
#include "x11util.h"

namespace {

// Right of where the popup and its question may be placed.
const QPoint openerButton(1000, 40);
const QPoint closerButton(1000, 100);
const QPoint aliveButton(1000, 160);

const char openerPage[] = R"html(<!DOCTYPE html><html><head><style>body{margin:0}
.b{position:absolute;left:900px;width:200px;height:40px}</style></head><body>
<button class="b" style="top:20px" onclick="w = window.open('/ask', 'ask', 'width=400,height=300')">open</button>
<button class="b" style="top:80px" onclick="w.close()">close</button>
<button class="b" style="top:140px" onclick="fetch('/report?alive=1')">alive</button>
<script>fetch('/report?loaded=1')</script></body></html>)html";

bool dialogViewable(const QString &title)
{
    const QList<unsigned long> found = x11::findWindows(title);
    return std::any_of(found.begin(), found.end(), [](unsigned long w) { return x11::isViewable(w); });
}

// A viewable window titled |title| that is none of |seen|, or 0.
unsigned long viewableDialog(const QString &title, const QList<unsigned long> &seen)
{
    for (unsigned long window : x11::findWindows(title)) {
        if (!seen.contains(window) && x11::isViewable(window))
            return window;
    }
    return 0;
}

bool dialogShown(const QString &title)
{
    return QTest::qWaitFor([&] { return dialogViewable(title); }, 20000);
}

// CPU seconds the process and its descendants have used so far.
double cpuSeconds(qint64 root)
{
    QList<qint64> tree = proc::descendants(root);
    tree << root;
    double seconds = 0;
    for (qint64 pid : tree) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        seconds += double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / sysconf(_SC_CLK_TCK);
    }
    return seconds;
}

} // namespace

void TestProgram::permissionQuestionAbortsWhenItsWindowGoes()
{
    // Was: the question's box was deleted twice with its window: SIGABRT.
    PlatformServer::Route opener;
    opener.body = openerPage;
    server.server()->setRoute("/", opener);
    PlatformServer::Route ask;
    ask.body = "<script>navigator.mediaDevices.getUserMedia({audio: true})</script>";
    server.server()->setRoute("/ask", ask);
    takeReports(server);
    ClientSession session;
    // Without a capture device the engine refuses before anyone is asked.
    session.setEnv(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--use-fake-device-for-media-stream"));
    QVERIFY(startAndLogIn(session, address));
    const unsigned long view = session.waitForViewWindow();
    QVERIFY(view && !report(server, "loaded").isNull() && user::activate(view));

    QVERIFY(user::click(view, openerButton.x(), openerButton.y()));
    const QString origin = QStringLiteral("http://") + address;
    QVERIFY(dialogShown(origin));
    QVERIFY(user::activate(view) && user::click(view, closerButton.x(), closerButton.y()));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogViewable(origin), 20000);
    QVERIFY(user::activate(view) && user::click(view, aliveButton.x(), aliveButton.y()));
    QCOMPARE(report(server, "alive"), QStringLiteral("1"));
    QCOMPARE(session.process().state(), QProcess::Running);
    QVERIFY(closeView(session));
}

void TestProgram::alertLoopHoldsTheOperator()
{
    // Was: each dialog came back at once, the window manager's close was
    // dropped under it, and only a kill ended the program.
    const QString origin = QStringLiteral("http://") + address;
    PlatformServer::Route page;
    page.body = "<script>for (;;) alert('again')</script>";
    server.server()->setRoute("/", page);
    {
        // Closing the window closes the dialog, and the program ends cleanly.
        ClientSession session;
        QVERIFY(openPage(session));
        QVERIFY(dialogShown(origin));
        QVERIFY(closeView(session));
    }

    // The second dialog offers to stop the page's dialogs.
    page.body = "<script>for (let i = 0; i < 1000; i++) alert(i); fetch('/report?stopped=1')</script>";
    server.server()->setRoute("/", page);
    takeReports(server);
    ClientSession session;
    QVERIFY(openPage(session));
    QVERIFY(dialogShown(origin));
    const QList<unsigned long> first = x11::findWindows(origin);
    QVERIFY(user::activate(first.last()) && user::key(QStringLiteral("Return")));
    unsigned long second = 0;
    QTRY_VERIFY_WITH_TIMEOUT((second = viewableDialog(origin, first)) != 0, 20000);
    // From OK, the one button, Tab leads to the check box.
    QVERIFY(user::activate(second) && user::key(QStringLiteral("Tab")) && user::key(QStringLiteral("space"))
            && user::key(QStringLiteral("Return")));
    QCOMPARE(report(server, "stopped"), QStringLiteral("1"));
    QVERIFY(closeView(session));
}

void TestProgram::longFailingUrlLoops()
{
    // Was: the error page for a 300 KB address was too large to show, and
    // each failure of it brought another, at full CPU for ever.
    const QString failing = QStringLiteral("http://%1/?").arg(neighbour(254)) + QString(300000, QLatin1Char('&'));
    PlatformServer::Route page;
    page.body = "<script>location.href = 'http://" + neighbour(254).toUtf8() + "/?' + '&'.repeat(300000)</script>";
    server.server()->setRoute("/", page);
    DevTools devTools;
    ClientSession session;
    session.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools.address());
    QVERIFY(openPage(session));
    const QString text = QStringLiteral("document.body.innerText.substring(0, 40)");
    QTRY_COMPARE_WITH_TIMEOUT(devTools.evaluate(QString(), text),
                              QStringLiteral("Failed to load URL ") + failing.left(21), 30000);
    session.mark(QStringLiteral("error page shown"));
    // Idle now: a loop would take a core for the whole second.
    const double before = cpuSeconds(session.pid());
    QTest::qWait(3000);
    const double used = cpuSeconds(session.pid()) - before;
    QVERIFY2(used < 1.0, qPrintable(QString::number(used)));
    QVERIFY(closeView(session));
}

void TestProgram::missingEngineModuleIsSilent_data()
{
    QTest::addColumn<QString>("module"); // put beside the program, or none
    QTest::newRow("missing") << QString();
    QTest::newRow("of another build") << QStringLiteral(FOREIGN_MODULE_PATH);
}

void TestProgram::missingEngineModuleIsSilent()
{
    // Was: a blank window, and the reason on standard error only.
    QFETCH(QString, module);
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("vmpclient"));
    QVERIFY(QFile::copy(QStringLiteral(VMPCLIENT_PATH), program));
    QVERIFY(module.isEmpty() || QFile::copy(module, dir.filePath(QStringLiteral("libcefqt_engine.so"))));
    ClientSession session;
    QVERIFY(session.start(QStringList(), program));
    QVERIFY(dialogShown(QStringLiteral("vmpclient")));
    for (unsigned long box : x11::findWindows(QStringLiteral("vmpclient")))
        user::activate(box);
    QVERIFY(user::key(QStringLiteral("Return")));
    QVERIFY(session.waitForExit());
    QVERIFY(session.exitedWith(1));
    QVERIFY(session.standardError().contains("libcefqt_engine.so"));
}
