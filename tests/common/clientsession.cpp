#include "clientsession.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include "processutil.h"
#include "useractions.h"
#include "x11util.h"

namespace {

const QString windowTitle = QString::fromUtf8("视频综合管理平台");

// Field positions of the login form, in window coordinates of a screen at
// 96 dpi; a denser screen scales them.
const QPoint addressField(284, 50);
const QPoint userField(284, 90);
const QPoint passwordField(284, 130);
const QPoint loginButton(315, 181);

// The login window's size in device pixels.
QSize loginSize()
{
    return QSize(518, 221) * x11::screenScale();
}

bool clickAt(unsigned long window, const QPoint &point)
{
    const int scale = x11::screenScale();
    return user::click(window, point.x() * scale, point.y() * scale);
}

unsigned long waitForWindow(const std::function<bool(unsigned long)> &accept, int timeoutMs)
{
    unsigned long found = 0;
    (void)QTest::qWaitFor(
        [&] {
            for (unsigned long window : x11::findWindows(windowTitle)) {
                if (x11::isViewable(window) && accept(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

} // namespace

ClientSession::ClientSession(const QString &workDir)
{
    if (workDir.isEmpty()) {
        ownWorkDir.reset(new QTemporaryDir());
        workingDir = ownWorkDir->path();
    } else {
        workingDir = workDir;
    }
}

ClientSession::~ClientSession()
{
    killAll();
    if (QTest::currentTestFailed() && started.isValid()) {
        readOutput();
        qWarning().noquote() << "vmpclient session:" << timeline.join(QStringLiteral(", "))
                             << "\nset.txt:" << readFile(QStringLiteral("set.txt")).toHtmlEscaped()
                             << "\nthe end of its output:\n" << QString::fromLocal8Bit(output.right(4000))
                             << "\nthe end of its errors:\n" << QString::fromLocal8Bit(errors.right(4000));
    }
}

void ClientSession::mark(const QString &step)
{
    timeline << QStringLiteral("%1 at %2 ms").arg(step).arg(started.elapsed());
}

bool ClientSession::start(const QStringList &arguments, const QString &program)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys()) {
        if (name.startsWith(QLatin1String("QTWEBENGINE")) || name.startsWith(QLatin1String("XDG_")))
            env.remove(name);
    }
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(extraEnv);
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(workingDir);
    started.start();
    child.start(program.isEmpty() ? QStringLiteral(VMPCLIENT_PATH) : program, arguments);
    return child.waitForStarted(10000);
}

void ClientSession::readOutput()
{
    output += child.readAllStandardOutput();
    errors += child.readAllStandardError();
}

QByteArray ClientSession::standardOutput()
{
    readOutput();
    return output;
}

QByteArray ClientSession::standardError()
{
    readOutput();
    return errors;
}

unsigned long ClientSession::waitForLoginWindow(int timeoutMs)
{
    const qint64 own = pid();
    const unsigned long window = waitForWindow(
        [own](unsigned long window) {
            return x11::windowPid(window) == own && x11::screenGeometry(window).size() == loginSize();
        },
        timeoutMs);
    mark(window ? QStringLiteral("login window") : QStringLiteral("no login window"));
    return window;
}

unsigned long ClientSession::waitForViewWindow(int timeoutMs)
{
    const qint64 own = pid();
    const unsigned long window = waitForWindow(
        [own](unsigned long window) {
            return x11::windowPid(window) == own && x11::screenGeometry(window).size() != loginSize();
        },
        timeoutMs);
    mark(window ? QStringLiteral("view window") : QStringLiteral("no view window"));
    return window;
}

QList<unsigned long> ClientSession::windows() const
{
    return x11::viewableWindowsOf(child.processId());
}

bool ClientSession::login(unsigned long loginWindow, const QString &address, const QString &user, const QString &password)
{
    if (!user::activate(loginWindow) || !clickAt(loginWindow, addressField) || !user::replaceText(address))
        return false;
    // A null user name keeps what the field holds (filled from "set.txt").
    if (!user.isNull() && (!clickAt(loginWindow, userField) || !user::replaceText(user)))
        return false;
    const bool done = clickAt(loginWindow, passwordField) && user::replaceText(password)
        && clickAt(loginWindow, loginButton);
    mark(done ? QStringLiteral("login clicked") : QStringLiteral("login input failed"));
    return done;
}

bool ClientSession::waitForExit(int timeoutMs)
{
    if (child.state() == QProcess::NotRunning)
        return true;
    const bool exited = QTest::qWaitFor([this] { return child.state() == QProcess::NotRunning; }, timeoutMs);
    mark(exited ? QStringLiteral("exit") : QStringLiteral("no exit"));
    return exited;
}

bool ClientSession::exitedWith(int code) const
{
    return child.state() == QProcess::NotRunning && child.exitStatus() == QProcess::NormalExit
        && child.exitCode() == code;
}

void ClientSession::killAll()
{
    if (child.state() == QProcess::NotRunning)
        return;
    if (QTest::currentTestFailed()) {
        for (unsigned long window : windows())
            mark(QStringLiteral("window %1 open").arg(x11::describe(window)));
        for (unsigned long box : x11::findWindows(QStringLiteral("warning")))
            mark(QStringLiteral("warning box %1").arg(x11::describe(box)));
    }
    proc::killTree(child.processId());
    child.waitForFinished(10000);
}

QString ClientSession::readFile(const QString &name) const
{
    QFile file(QDir(workingDir).filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
