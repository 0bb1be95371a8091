#include "useractions.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <X11/Xlib.h>

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

// Gives every character of |text| that the keyboard map lacks a key of its
// own, and keeps it. xdotool would otherwise map each one to a spare key,
// press it and map the key back at once; a client that reads the map only
// when it handles the change then sees the key as it was before, and the
// character is lost.
bool mapCharactersOf(const QString &text)
{
    QSet<uint> wanted;
    for (const uint ucs : text.toUcs4()) {
        if (ucs > 0x7e)
            wanted.insert(ucs);
    }
    if (wanted.isEmpty())
        return true;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    int perCode = 0;
    KeySym *map = XGetKeyboardMapping(display, KeyCode(minCode), maxCode - minCode + 1, &perCode);
    QVector<int> spare;
    for (int code = minCode; code <= maxCode; ++code) {
        const KeySym *syms = map + (code - minCode) * perCode;
        bool empty = true;
        for (int i = 0; i < perCode; ++i) {
            const KeySym sym = syms[i];
            if (sym == NoSymbol)
                continue;
            empty = false;
            const uint ucs = sym >= 0x1000000 ? uint(sym - 0x1000000) : (sym <= 0xff ? uint(sym) : 0);
            wanted.remove(ucs);
        }
        if (empty)
            spare.append(code);
    }
    XFree(map);
    bool ok = wanted.size() <= spare.size();
    for (const uint ucs : qAsConst(wanted)) {
        if (!ok)
            break;
        KeySym sym = KeySym(0x1000000 + ucs);
        XChangeKeyboardMapping(display, spare.takeFirst(), 1, &sym, 1);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return ok;
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
    return mapCharactersOf(text) && xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("--"), text});
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
