#include "useractions.h"

#include <algorithm>

#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStringList>

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

// Gives every character of |text| beyond ASCII a spare key of its own, and
// keeps it. xdotool would otherwise map each one to a spare key, press it
// and map the key back at once; a client that reads the map only when it
// handles the change then sees the key as it was before, and the character
// is lost.
bool mapCharactersOf(const QString &text)
{
    QSet<uint> wanted;
    for (const uint ucs : text.toUcs4()) {
        if (ucs > 0x7e)
            wanted.insert(ucs);
    }
    Display *display = wanted.isEmpty() ? nullptr : XOpenDisplay(nullptr);
    if (!display)
        return wanted.isEmpty();
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    int perCode = 0;
    KeySym *map = XGetKeyboardMapping(display, KeyCode(minCode), maxCode - minCode + 1, &perCode);
    auto next = wanted.cbegin();
    for (int code = minCode; code <= maxCode && next != wanted.cend(); ++code) {
        const KeySym *syms = map + (code - minCode) * perCode;
        if (std::all_of(syms, syms + perCode, [](KeySym sym) { return sym == NoSymbol; })) {
            // Latin-1 has keysyms of the same number; the rest of Unicode
            // is offset.
            const uint ucs = *next++;
            KeySym sym = KeySym(ucs <= 0xff ? ucs : 0x1000000 + ucs);
            XChangeKeyboardMapping(display, code, 1, &sym, 1);
        }
    }
    XFree(map);
    XSync(display, False);
    XCloseDisplay(display);
    return next == wanted.cend();
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
