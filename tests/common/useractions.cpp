#include "useractions.h"

#include <QProcess>
#include <QStringList>

namespace user {

namespace {

bool xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
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
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("--"), text});
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
