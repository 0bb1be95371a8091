// The real executable, started as a user or the engine would start it, seen
// from outside: its output and exit code, its windows on the X server, its
// processes in /proc and the files it leaves on disk.
#include <QProcess>
#include <QtTest>

#include <X11/Xlib.h>

#include <algorithm>
#include <csignal>

#include "filetree.h"
#include "processutil.h"
#include "removedir.h"
#include "x11util.h"

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Held for the whole run: an X server left without clients resets,
        // and a program connecting meanwhile fails to start.
        display = XOpenDisplay(nullptr);
        QVERIFY2(display, "needs an X server it may connect to: run under xvfb-run");
        QVERIFY2(QFileInfo(binary).isExecutable(), VMPCLIENT_PATH);
    }

    void cleanupTestCase()
    {
        if (display)
            XCloseDisplay(display);
    }

    void init()
    {
        root.reset(new QTemporaryDir);
        // The temporary directory, private to its owner, serves as XDG_RUNTIME_DIR.
        QVERIFY(QDir(root->path()).mkdir("home") && QDir(root->path()).mkdir("work"));
        seen.clear();
    }

    void cleanup()
    {
        process.reset(); // killed if still running
        for (qint64 pid : leftovers())
            ::kill(pid_t(pid), SIGKILL);
        root.reset();
    }

    void subProcessRoleEndsAtOnce_data()
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
    void subProcessRoleEndsAtOnce()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, cacheBefore);

        const QString link = root->filePath(program);
        QVERIFY(program.isEmpty() || (QDir().mkpath(QFileInfo(link).path()) && QFile::link(binary, link)));
        QVERIFY(!cacheBefore || (createMarkedDir(cache()) && writeFile(cache() + "/Local Storage/leveldb/000003.log")));
        const QMap<QString, QString> before = snapshot(work());

        start(program.isEmpty() ? binary : link, arguments);
        bool windowSeen = false;
        const auto ended = [&] {
            windowSeen = windowSeen || !loginWindows().isEmpty();
            return process->state() == QProcess::NotRunning;
        };
        QVERIFY(QTest::qWaitFor(ended, startTimeout));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 255);
        QCOMPARE(process->readAllStandardOutput(), QByteArray("subprocess\n"));
        QCOMPARE(process->readAllStandardError(), QByteArray());
        QVERIFY(!windowSeen);
        QCOMPARE(snapshot(work()), before);
        QVERIFY2(snapshot(home()).isEmpty(), qPrintable(snapshot(home()).keys().join(' ')));
    }

    void browserRoleRunsOnlyItselfAndClosesCleanly_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("foreignCache");

        QTest::newRow("fresh directory") << QStringList() << false;
        QTest::newRow("capitals --TYPE=renderer") << QStringList{"--TYPE=renderer"} << false;
        // Started in the home directory, ".cache" is every program's cache.
        QTest::newRow("someone else's .cache") << QStringList() << true;
    }

    void browserRoleRunsOnlyItselfAndClosesCleanly()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, foreignCache);
        QVERIFY(!foreignCache || writeFile(cache() + "/other-program/data.bin", "someone else's"));
        const QMap<QString, QString> cacheBefore = snapshot(cache());

        start(binary, arguments);
        const auto shown = [this] { return !loginWindows().isEmpty() || process->state() == QProcess::NotRunning; };
        QVERIFY(QTest::qWaitFor(shown, startTimeout));
        const QList<unsigned long> windows = loginWindows();
        QVERIFY2(windows.size() == 1, process->readAllStandardError().constData());

        // The login window has the engine start at once. Waiting for a renderer
        // (forked by the zygote, so a grandchild) lets every kind of sub-process
        // show up; all of them must be this executable, never Qt's own helper.
        const auto rendererRuns = [this] {
            const QList<qint64> list = proc::descendants(process->processId());
            return std::any_of(list.begin(), list.end(), [](qint64 pid) { return !proc::descendants(pid).isEmpty(); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(rendererRuns(), startTimeout);
        for (qint64 pid : proc::descendants(process->processId())) {
            seen.insert(pid);
            const QString exe = proc::executable(pid); // empty when it ended since the listing
            QVERIFY2(exe.isEmpty() || exe == binary, qPrintable(exe + ": " + proc::commandLine(pid)));
        }
        // A marker in someone else's directory would have the next start empty it.
        QCOMPARE(QFileInfo(cache() + '/' + cacheOwnerMarker).isFile(), !foreignCache);

        QVERIFY(x11::requestClose(windows.first()));
        QTRY_COMPARE_WITH_TIMEOUT(process->state(), QProcess::NotRunning, startTimeout);
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(process->readAllStandardError()), QString());
        // Only the engine's sub-processes write, each its one line.
        for (const QByteArray &line : process->readAllStandardOutput().split('\n'))
            QVERIFY2(line.isEmpty() || line == "subprocess", line.constData());
        QTRY_VERIFY2_WITH_TIMEOUT(leftovers().isEmpty(),
                                  qPrintable("left running: " + proc::commandLine(leftovers().value(0))), 30000);

        if (foreignCache)
            QCOMPARE(snapshot(cache()), cacheBefore);
        // Mesa's shader cache and fontconfig's font cache are written by the
        // graphics driver and the font library for any program on this display;
        // the engine's own profile, cache and storage must not be under HOME.
        for (const QString &entry : snapshot(home()).keys())
            QVERIFY2(QRegularExpression("^\\.cache(/(mesa_shader_cache|fontconfig)(/.*)?)?$").match(entry).hasMatch(),
                     qPrintable("written under HOME: " + entry));
    }

private:
    QString home() const { return root->filePath("home"); }
    QString work() const { return root->filePath("work"); }
    QString cache() const { return root->filePath("work/.cache"); }

    void start(const QString &program, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The program alone decides how the engine runs and where it keeps data.
        for (const char *name : {"QTWEBENGINEPROCESS_PATH", "QTWEBENGINE_CHROMIUM_FLAGS", "QTWEBENGINE_DISABLE_SANDBOX",
                                 "QTWEBENGINE_REMOTE_DEBUGGING"})
            env.remove(QString::fromLatin1(name));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", home());
        env.insert("XDG_CONFIG_HOME", home() + "/.config");
        env.insert("XDG_CACHE_HOME", home() + "/.cache");
        env.insert("XDG_DATA_HOME", home() + "/.local/share");
        env.insert("XDG_RUNTIME_DIR", root->path());

        process.reset(new QProcess);
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(work());
        process->start(program, arguments);
        QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
    }

    // The login windows the program shows; the hidden web view carries the same
    // title, so only what is viewable counts.
    QList<unsigned long> loginWindows() const
    {
        QList<unsigned long> found;
        for (unsigned long window : x11::findWindows(QString::fromUtf8("视频综合管理平台"))) {
            if (process && x11::windowPid(window) == process->processId() && x11::isViewable(window))
                found << window;
        }
        return found;
    }

    // Processes of the current run still alive: those seen in its tree, and any
    // other copy of the program working in this test's directory.
    QList<qint64> leftovers() const
    {
        QList<qint64> alive;
        const QString dir = root ? QFileInfo(work()).canonicalFilePath() : QString();
        for (qint64 pid : proc::runningExecutable(binary)) {
            if (seen.contains(pid) || (root && QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)) == dir))
                alive << pid;
        }
        return alive;
    }

    const QString binary = QFileInfo(QStringLiteral(VMPCLIENT_PATH)).canonicalFilePath();
    const int startTimeout = 60000;
    QScopedPointer<QTemporaryDir> root;
    QScopedPointer<QProcess> process;
    QSet<qint64> seen; // every sub-process seen in the current run
    Display *display = nullptr;
};

QTEST_GUILESS_MAIN(TestStartup)

#include "tst_startup.moc"
