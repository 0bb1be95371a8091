#include "useractions.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include "x11util.h"

namespace user {

namespace {

bool xdotool(const QStringList &arguments)
{
    QProcess process;
    // xdotool reads its text through the C library's locale; in the plain C
    // locale it refuses every character beyond ASCII.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

bool click(unsigned long window, int x, int y)
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
                    QString::number(x), QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

bool replaceText(const QString &text)
{
    return key(QStringLiteral("ctrl+a")) && key(QStringLiteral("BackSpace")) && (text.isEmpty() || type(text));
}

bool type(const QString &text)
{
    return x11::giveKeysTo(text) && xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("--"), text});
}

bool key(const QString &keys)
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30"), keys});
}

bool activate(unsigned long window)
{
    return xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
}

} // namespace user
