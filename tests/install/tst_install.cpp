// "cmake --install" into a staging directory, and the installed desktop
// entry's launcher run as a desktop would run it: from the home directory,
// against a loopback platform server.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "clientsession.h"
#include "platformserver.h"
#include "platformserverthread.h"
#include "windowmanager.h"

namespace {

// A prefix with a blank, which the desktop entry has to quote.
const QString prefix = QStringLiteral("/opt/vmp client");

// Where the desktop entry's Exec value must point, quoted for the blank.
const QString launcher = prefix + QStringLiteral("/bin/vmpclient-launcher");

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void desktopEntryStartsTheLauncher();
    void launcherRunsInDataDirectory_data();
    void launcherRunsInDataDirectory();

private:
    QString staged(const QString &path) const { return destDir.path() + prefix + QLatin1Char('/') + path; }
    // The value of the |n|th |key| in the installed desktop entry.
    QString desktopValue(const QString &key, int n = 1) const;

    QTemporaryDir destDir;
    QProcess windowManager;
    PlatformServerThread server;
    QString address;
};

void TestInstall::initTestCase()
{
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), destDir.path());
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(VMP_BUILD_DIR), QStringLiteral("--prefix"), prefix});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());

    QVERIFY(windowmanager::start(windowManager));
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

QString TestInstall::desktopValue(const QString &key, int n) const
{
    QFile entry(staged(QStringLiteral("share/applications/vmpclient.desktop")));
    if (!entry.open(QIODevice::ReadOnly))
        return QString();
    for (const QString &line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('=')) && --n == 0)
            return line.mid(key.size() + 1);
    }
    return QString();
}

void TestInstall::desktopEntryStartsTheLauncher()
{
    // What desktops read of it is well formed.
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("desktop-file-validate"), {staged(QStringLiteral("share/applications/vmpclient.desktop"))});
    QVERIFY2(validate.waitForFinished(), "desktop-file-validate (desktop-file-utils) is missing");
    const QByteArray complaints = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
    // It starts the launcher by its installed full path, also with WebGL as an action, and names an
    // icon that is there, in the theme every desktop falls back to.
    QCOMPARE(desktopValue(QStringLiteral("Exec")), QLatin1Char('"') + launcher + QLatin1Char('"'));
    QCOMPARE(desktopValue(QStringLiteral("Exec"), 2), QLatin1Char('"') + launcher + QStringLiteral("\" --webgl"));
    const QString icon = staged(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(desktopValue("Icon")));
    QVERIFY2(QFileInfo(icon).isFile(), qPrintable(icon));
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

    // As a desktop starts a menu entry: in the home directory.
    ClientSession session;
    const QDir home(session.homeDir());
    const QString dataDir = home.filePath(expected);
    session.setWorkDir(home.path());
    if (!dataHome.isEmpty())
        session.setEnv(QStringLiteral("XDG_DATA_HOME"), dataHome.startsWith(QLatin1Char('/')) ? home.path() + dataHome : dataHome);
    QVERIFY(session.start(QStringList(), destDir.path() + launcher));

    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY2(loginWindow, "the login window did not appear");
    // The data directory is private to the user, and set.txt and .cache are
    // kept there, not in the home directory.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::WriteOther | QFile::ExeOther;
    QVERIFY(QFileInfo(dataDir).isDir() && !(QFileInfo(dataDir).permissions() & others));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(dataDir).filePath(".cache/vmpclient-owns-this-directory")), 10000);
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral(".cache/vmpclient-owns-this-directory"))));
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral(".cache.lock"))));
    if (!login)
        return;
    // The installed program works: its engine module is found beside it.
    server.server()->setRoute("/", PlatformServer::Route{200, "text/html",
                                                         "<html><body><script>fetch('/shown')</script></body></html>"});
    QVERIFY(session.login(loginWindow, address, QStringLiteral("installed"), QStringLiteral("secret")));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const PlatformServer::Request &request : server.server()->requests())
                if (request.path == "/shown")
                    return true;
            return false;
        }(),
        30000);
    QFile settings(QDir(dataDir).filePath(QStringLiteral("set.txt")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(settings.readAll()), address + QStringLiteral("\ninstalled"));
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("set.txt"))));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
