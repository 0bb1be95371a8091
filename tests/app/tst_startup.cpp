// The real executable, started as a user or the engine would start it, seen
// from outside: its output and exit code, its windows on the X server, its
// processes in /proc and the files it leaves on disk.
#include <QProcess>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <sys/types.h>

#include "filetree.h"
#include "processutil.h"
#include "removedir.h"
#include "x11util.h"

namespace {

const QString loginTitle = QString::fromUtf8("视频综合管理平台");
const int startTimeout = 60000;

QString binaryPath()
{
    return QFileInfo(QStringLiteral(VMPCLIENT_PATH)).canonicalFilePath();
}

// The process that owns |window|, from the _NET_WM_PID that Qt sets.
qint64 windowPid(unsigned long window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    qint64 pid = -1;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
    if (XGetWindowProperty(display, window, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data)
            == Success
        && data && count == 1) {
        pid = static_cast<qint64>(*reinterpret_cast<unsigned long *>(data));
    }
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return pid;
}

// Everything below |root|, one relative path a line.
QString listing(const QString &root)
{
    return QStringList(snapshot(root).keys()).join(QLatin1Char('\n'));
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void subProcessRoleEndsAtOnce_data();
    void subProcessRoleEndsAtOnce();
    void browserRoleRunsOnlyItselfAndClosesCleanly();
    void secondStartEmptiesOwnCache();
    void foreignCacheLeftWhole();
    void capitalTypeTakesBrowserPath();

private:
    QString home() const { return root->filePath(QStringLiteral("home")); }
    QString work() const { return root->filePath(QStringLiteral("work")); }
    QString cache() const { return root->filePath(QStringLiteral("work/.cache")); }
    QString marker() const { return cache() + QLatin1Char('/') + QLatin1String(cacheOwnerMarker); }

    void start(const QString &program, const QStringList &arguments = QStringList());
    QList<unsigned long> loginWindows() const;
    unsigned long waitForLoginWindow();
    QString failure();
    void checkSubProcessesAreThisExecutable();
    void closeAndWaitForCleanExit(unsigned long window);
    QList<qint64> leftovers() const;
    void checkHomeHoldsNoEngineData();

    QScopedPointer<QTemporaryDir> root;
    QScopedPointer<QProcess> process;
    QSet<qint64> seen; // every sub-process seen in the current run
    Display *display = nullptr;
};

void TestStartup::initTestCase()
{
    // Held for the whole run: an X server left without clients resets, and
    // a program connecting meanwhile fails to start.
    display = XOpenDisplay(nullptr);
    QVERIFY2(display, "needs an X server it may connect to: run under xvfb-run");
    QVERIFY2(QFileInfo(binaryPath()).isExecutable(), VMPCLIENT_PATH);
}

void TestStartup::cleanupTestCase()
{
    if (display)
        XCloseDisplay(display);
}

void TestStartup::init()
{
    root.reset(new QTemporaryDir);
    QVERIFY(root->isValid());
    QVERIFY(QDir(root->path()).mkpath(QStringLiteral("home")));
    QVERIFY(QDir(root->path()).mkpath(QStringLiteral("work")));
    QVERIFY(QDir(root->path()).mkpath(QStringLiteral("runtime")));
    QVERIFY(QFile::setPermissions(root->filePath(QStringLiteral("runtime")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    seen.clear();
}

void TestStartup::cleanup()
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(10000);
    }
    process.reset();
    for (qint64 pid : leftovers())
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    root.reset();
}

void TestStartup::start(const QString &program, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The program alone decides how the engine runs and where it keeps data.
    for (const char *name : {"QTWEBENGINEPROCESS_PATH", "QTWEBENGINE_CHROMIUM_FLAGS", "QTWEBENGINE_DISABLE_SANDBOX",
                             "QTWEBENGINE_REMOTE_DEBUGGING"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), home());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home() + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root->filePath(QStringLiteral("runtime")));

    process.reset(new QProcess);
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(work());
    process->start(program, arguments);
    QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
}

QList<unsigned long> TestStartup::loginWindows() const
{
    QList<unsigned long> found;
    if (!process)
        return found;
    // The hidden web view carries the same title; only what is shown counts.
    for (unsigned long window : x11::findWindows(loginTitle)) {
        if (windowPid(window) == process->processId() && x11::isViewable(window))
            found << window;
    }
    return found;
}

unsigned long TestStartup::waitForLoginWindow()
{
    if (!QTest::qWaitFor([this] { return !loginWindows().isEmpty() || process->state() == QProcess::NotRunning; },
                         startTimeout))
        return 0;
    const QList<unsigned long> windows = loginWindows();
    return windows.size() == 1 ? windows.first() : 0;
}

// What the program said, for the message of a failed check.
QString TestStartup::failure()
{
    QString text = process->state() == QProcess::NotRunning
        ? QStringLiteral("ended with %1").arg(process->exitCode())
        : QStringLiteral("still running");
    return text + QStringLiteral("; stderr: ") + QString::fromLocal8Bit(process->readAllStandardError());
}

void TestStartup::checkSubProcessesAreThisExecutable()
{
    for (qint64 pid : proc::descendants(process->processId())) {
        seen.insert(pid);
        const QString exe = proc::executable(pid);
        if (exe.isEmpty())
            continue; // ended since the listing
        // A QtWebEngineProcess here means the engine went back to Qt's helper.
        QVERIFY2(exe == binaryPath(),
                 qPrintable(QStringLiteral("%1 (%2): %3").arg(pid).arg(exe, proc::commandLine(pid))));
    }
}

void TestStartup::closeAndWaitForCleanExit(unsigned long window)
{
    for (qint64 pid : proc::descendants(process->processId()))
        seen.insert(pid);
    QVERIFY(x11::requestClose(window));
    QTRY_COMPARE_WITH_TIMEOUT(process->state(), QProcess::NotRunning, startTimeout);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(process->readAllStandardError()), QString());
    // Only the engine's sub-processes write, each its one line.
    const QStringList lines = QString::fromLocal8Bit(process->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString &line : lines)
        QCOMPARE(line, QStringLiteral("subprocess"));
    QTRY_VERIFY2_WITH_TIMEOUT(leftovers().isEmpty(),
                              qPrintable(QStringLiteral("left running: %1").arg(proc::commandLine(leftovers().value(0)))),
                              10000);
}

// Processes of the current run still alive: those seen in its tree, and any
// other copy of the program working in this test's directory.
QList<qint64> TestStartup::leftovers() const
{
    QList<qint64> alive;
    if (!root)
        return alive;
    const QString dir = QFileInfo(work()).canonicalFilePath();
    for (qint64 pid : proc::runningExecutable(binaryPath())) {
        const bool fromHere = QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)) == dir;
        if (seen.contains(pid) || fromHere)
            alive << pid;
    }
    return alive;
}

void TestStartup::checkHomeHoldsNoEngineData()
{
    // Mesa's shader cache and fontconfig's font cache are written by the
    // graphics driver and the font library for any program drawing on this
    // display; the engine's own profile, cache and storage are not there.
    const QStringList allowed{".cache", ".cache/mesa_shader_cache", ".cache/fontconfig"};
    const QStringList entries = snapshot(home()).keys();
    for (const QString &entry : entries) {
        bool ok = false;
        for (const QString &prefix : allowed)
            ok = ok || entry == prefix || (prefix != ".cache" && entry.startsWith(prefix + '/'));
        QVERIFY2(ok, qPrintable(QStringLiteral("written under HOME:\n") + listing(home())));
    }
}

void TestStartup::subProcessRoleEndsAtOnce_data()
{
    QTest::addColumn<QString>("program"); // a link to the program, or empty for the program itself
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("cacheBefore");

    QTest::newRow("--typeface") << QString() << QStringList{"--typeface"} << false;
    QTest::newRow("argument x--type") << QString() << QStringList{"x--type"} << false;
    QTest::newRow("program path dir--type") << QStringLiteral("dir--type/vmpclient") << QStringList() << false;
    QTest::newRow("--typeface beside our own .cache") << QString() << QStringList{"--typeface"} << true;
}

void TestStartup::subProcessRoleEndsAtOnce()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, cacheBefore);

    if (program.isEmpty()) {
        program = binaryPath();
    } else {
        program = root->filePath(program);
        QVERIFY(QDir().mkpath(QFileInfo(program).path()));
        QVERIFY(QFile::link(binaryPath(), program));
    }
    QMap<QString, QString> cacheContents;
    if (cacheBefore) {
        QVERIFY(createMarkedDir(cache()));
        QVERIFY(writeFile(cache() + "/Local Storage/leveldb/000003.log"));
        cacheContents = snapshot(cache());
    }

    start(program, arguments);
    bool windowSeen = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            windowSeen = windowSeen || !loginWindows().isEmpty();
            return process->state() == QProcess::NotRunning;
        },
        startTimeout));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 255);
    QCOMPARE(process->readAllStandardOutput(), QByteArray("subprocess\n"));
    QCOMPARE(process->readAllStandardError(), QByteArray());
    QVERIFY(!windowSeen);
    if (cacheBefore)
        QCOMPARE(snapshot(cache()), cacheContents);
    else
        QVERIFY(!QFileInfo::exists(cache()) && !QFileInfo(cache()).isSymLink());
    QVERIFY2(snapshot(home()).isEmpty(), qPrintable(listing(home())));
}

void TestStartup::browserRoleRunsOnlyItselfAndClosesCleanly()
{
    start(binaryPath());
    const unsigned long window = waitForLoginWindow();
    QVERIFY2(window, qPrintable(failure()));
    QCOMPARE(x11::screenGeometry(window).size(), QSize(518, 221));

    // The login window has the engine start at once. Waiting for a renderer
    // (forked by the zygote, so a grandchild) lets every kind of sub-process
    // show up; all of them must be this executable, never Qt's own helper.
    const qint64 pid = process->processId();
    const auto rendererRuns = [pid] {
        for (qint64 child : proc::descendants(pid)) {
            if (!proc::descendants(child).isEmpty())
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rendererRuns(), startTimeout);
    checkSubProcessesAreThisExecutable();
    QVERIFY(QFileInfo(marker()).isFile());

    closeAndWaitForCleanExit(window);
    checkHomeHoldsNoEngineData();
}

void TestStartup::secondStartEmptiesOwnCache()
{
    start(binaryPath());
    unsigned long window = waitForLoginWindow();
    QVERIFY2(window, qPrintable(failure()));
    closeAndWaitForCleanExit(window);
    QVERIFY(QFileInfo(marker()).isFile());
    QVERIFY(writeFile(cache() + "/Local Storage/stale.bin", "from an earlier run"));

    start(binaryPath());
    window = waitForLoginWindow();
    QVERIFY2(window, qPrintable(failure()));
    QVERIFY2(!QFileInfo::exists(cache() + "/Local Storage/stale.bin"), qPrintable(listing(cache())));
    QVERIFY(QFileInfo(marker()).isFile());
    closeAndWaitForCleanExit(window);
}

void TestStartup::foreignCacheLeftWhole()
{
    // Started in the home directory, ".cache" is every program's cache.
    QVERIFY(writeFile(cache() + "/other-program/data.bin", "someone else's"));
    const QMap<QString, QString> before = snapshot(cache());

    start(binaryPath());
    const unsigned long window = waitForLoginWindow();
    QVERIFY2(window, qPrintable(failure()));
    closeAndWaitForCleanExit(window);

    const QMap<QString, QString> after = snapshot(cache());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(after.value(it.key()), it.value());
    // A marker now would have the next start empty it.
    QVERIFY(!QFileInfo::exists(marker()));
}

void TestStartup::capitalTypeTakesBrowserPath()
{
    start(binaryPath(), {QStringLiteral("--TYPE=renderer")});
    const unsigned long window = waitForLoginWindow();
    QVERIFY2(window, qPrintable(failure()));
    closeAndWaitForCleanExit(window);
}

QTEST_GUILESS_MAIN(TestStartup)

#include "tst_startup.moc"
