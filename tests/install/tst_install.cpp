// "cmake --install" into a staging directory, and the installed desktop
// entry's launcher run as a desktop would run it: from the home directory,
// with a home of its own, against a loopback platform server.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "platformserver.h"
#include "platformserverthread.h"
#include "processutil.h"
#include "useractions.h"
#include "windowmanager.h"
#include "x11util.h"

namespace {

// A prefix with a blank, which the desktop entry has to quote.
const QString prefix = QStringLiteral("/opt/vmp client");
const QString loginTitle = QString::fromUtf8("视频综合管理平台");
const QString cacheMarker = QStringLiteral(".cache/vmpclient-owns-this-directory");

// The value of |key| in the [Desktop Entry] group.
QString desktopValue(const QString &entry, const QString &key)
{
    const QStringList lines = entry.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QString();
}

// The program an Exec value names: string escapes first, then the quoting
// of arguments.
QString execProgram(const QString &exec)
{
    QString text;
    for (int i = 0; i < exec.size(); ++i) {
        if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size())
            ++i;
        text += exec.at(i);
    }
    if (!text.startsWith(QLatin1Char('"')))
        return text.section(QLatin1Char(' '), 0, 0);
    QString program;
    for (int i = 1; i < text.size() && text.at(i) != QLatin1Char('"'); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size())
            ++i;
        program += text.at(i);
    }
    return program;
}

bool noAccessForOthers(const QString &path)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::WriteOther | QFile::ExeOther;
    return !(QFileInfo(path).permissions() & others);
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void installsProgramEntryAndIcon();
    void launcherRunsInDataDirectory_data();
    void launcherRunsInDataDirectory();

private:
    QString staged(const QString &path) const { return destDir.path() + prefix + QLatin1Char('/') + path; }
    static unsigned long waitForWindow(bool login, int timeoutMs);

    // Kills the program and all it started when the test ends, passed or not.
    struct TreeKiller
    {
        QProcess &process;
        ~TreeKiller() { killTree(process); }
    };
    static void killTree(QProcess &process);

    QTemporaryDir destDir;
    QProcess windowManager;
    PlatformServerThread server;
    QString address;
};

void TestInstall::initTestCase()
{
    QVERIFY(destDir.isValid());
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), destDir.path());
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(VMP_BUILD_DIR), QStringLiteral("--prefix"), prefix});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());

    // Activation and focus for the login as on a desktop.
    QVERIFY(windowmanager::start(windowManager));

    // The program names no port: the platform listens on port 80 of a
    // loopback address of its own.
    QRandomGenerator *random = QRandomGenerator::global();
    address = QStringLiteral("127.%1.%2.1").arg(random->bounded(2, 250)).arg(random->bounded(1, 250));
    QString error;
    QVERIFY2(server.start(QHostAddress(address), 80, &error), qPrintable(error));
}

void TestInstall::cleanupTestCase()
{
    windowManager.kill();
    windowManager.waitForFinished();
}

void TestInstall::installsProgramEntryAndIcon()
{
    for (const QString &program : {QStringLiteral("bin/vmpclient"), QStringLiteral("bin/vmpclient-launcher")}) {
        const QFileInfo info(staged(program));
        QVERIFY2(info.isFile() && info.isExecutable(), qPrintable(info.filePath()));
    }

    const QString entryPath = staged(QStringLiteral("share/applications/vmpclient.desktop"));
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("desktop-file-validate"), {entryPath});
    if (!validate.waitForStarted())
        QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
    QVERIFY(validate.waitForFinished());
    const QByteArray complaints = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && complaints.isEmpty(), complaints.constData());

    QFile entryFile(entryPath);
    QVERIFY(entryFile.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(entryFile.readAll());
    QVERIFY(entry.startsWith(QLatin1String("[Desktop Entry]\n")));
    QCOMPARE(desktopValue(entry, QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(desktopValue(entry, QStringLiteral("Name")), loginTitle);
    QCOMPARE(desktopValue(entry, QStringLiteral("Terminal")), QStringLiteral("false"));
    // The entry starts the launcher, by the full path it has once installed.
    QCOMPARE(execProgram(desktopValue(entry, QStringLiteral("Exec"))), prefix + QStringLiteral("/bin/vmpclient-launcher"));

    // The icon it names is there, in the theme every desktop falls back to.
    const QString icon = desktopValue(entry, QStringLiteral("Icon"));
    QFile svg(staged(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon)));
    QVERIFY2(svg.open(QIODevice::ReadOnly), qPrintable(svg.fileName()));
    QXmlStreamReader xml(&svg);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QStringLiteral("svg"));
    QVERIFY(!xml.attributes().value(QStringLiteral("viewBox")).isEmpty());
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
}

void TestInstall::launcherRunsInDataDirectory_data()
{
    QTest::addColumn<QString>("dataHome"); // relative to the home directory; empty: unset
    QTest::addColumn<QString>("expected"); // the data directory, relative to home
    QTest::addColumn<bool>("login");
    QTest::newRow("default data home, login") << QString() << ".local/share/vmpclient" << true;
    QTest::newRow("XDG_DATA_HOME with a blank") << "/my data" << "my data/vmpclient" << false;
    QTest::newRow("relative XDG_DATA_HOME is ignored") << "relative" << ".local/share/vmpclient" << false;
}

void TestInstall::launcherRunsInDataDirectory()
{
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    QFETCH(bool, login);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QDir homeDir(home.path());
    const QString dataDir = homeDir.filePath(expected);

    QFile entryFile(staged(QStringLiteral("share/applications/vmpclient.desktop")));
    QVERIFY(entryFile.open(QIODevice::ReadOnly));
    const QString launcher = destDir.path() + execProgram(desktopValue(QString::fromUtf8(entryFile.readAll()), QStringLiteral("Exec")));

    // As a desktop starts a menu entry: in the home directory.
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        env.remove(QString::fromLatin1(name));
    if (dataHome.startsWith(QLatin1Char('/')))
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + dataHome);
    else if (!dataHome.isEmpty())
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    client.setProcessEnvironment(env);
    client.setWorkingDirectory(home.path());
    client.start(launcher, QStringList());
    QVERIFY2(client.waitForStarted(), qPrintable(launcher));
    const TreeKiller killer{client};

    const unsigned long loginWindow = waitForWindow(true, 30000);
    QVERIFY2(loginWindow, "the login window did not appear");
    QVERIFY(QFileInfo(dataDir).isDir());
    QVERIFY(noAccessForOthers(dataDir));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(dataDir).filePath(cacheMarker)), 10000);
    QVERIFY(!QFileInfo::exists(homeDir.filePath(cacheMarker)));
    QVERIFY(!QFileInfo::exists(homeDir.filePath(QStringLiteral(".cache.lock"))));

    if (login) {
        const QString user = QStringLiteral("installed");
        QVERIFY(user::activate(loginWindow));
        QVERIFY(user::click(loginWindow, 284, 50) && user::replaceText(address));
        QVERIFY(user::click(loginWindow, 284, 90) && user::replaceText(user));
        QVERIFY(user::click(loginWindow, 284, 130) && user::replaceText(QStringLiteral("secret")));
        QVERIFY(user::click(loginWindow, 315, 181));
        QTRY_VERIFY_WITH_TIMEOUT(waitForWindow(false, 0), 30000);
        QFile settings(QDir(dataDir).filePath(QStringLiteral("set.txt")));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(settings.readAll()), address + QLatin1Char('\n') + user);
        QVERIFY(!QFileInfo::exists(homeDir.filePath(QStringLiteral("set.txt"))));
    }
}

unsigned long TestInstall::waitForWindow(bool login, int timeoutMs)
{
    unsigned long found = 0;
    const auto look = [&] {
        for (unsigned long window : x11::findWindows(loginTitle)) {
            const QSize loginSize = QSize(518, 221) * x11::screenScale();
            if (x11::isViewable(window) && (x11::screenGeometry(window).size() == loginSize) == login) {
                found = window;
                return true;
            }
        }
        return false;
    };
    if (!look() && timeoutMs > 0)
        (void)QTest::qWaitFor(look, timeoutMs);
    return found;
}

void TestInstall::killTree(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    const QList<qint64> children = proc::descendants(process.processId());
    process.kill();
    process.waitForFinished(10000);
    for (qint64 child : children)
        ::kill(static_cast<pid_t>(child), SIGKILL);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
