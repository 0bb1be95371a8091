// The keyboard on the real program with real key presses: the page has it
// from the login on, and the window's keys work as in a browser.
#include "programtest.h"

#include <signal.h>

#include "processutil.h"
#include "useractions.h"
#include "x11util.h"

namespace {

// Reports its load, each time it gains (1) or loses (0) the keyboard focus,
// letters typed, full-screen changes and zoom. It cancels Ctrl+R and F11 for
// itself; the letter f asks for full screen, p opens a popup.
const char keysPage[] = R"(<!DOCTYPE html><html><head><title>Keys</title></head><body><script>
function report(key, value) { fetch('/report?' + key + '=' + encodeURIComponent(value)); }
report('loaded', 1);
let focused = false;
setInterval(() => { if (document.hasFocus() != focused) report('focus', (focused = !focused) ? 1 : 0); }, 50);
let ratio = devicePixelRatio;
onresize = () => { if (devicePixelRatio != ratio) report('ratio', ratio = devicePixelRatio); };
document.onfullscreenchange = () => report('fullscreen', !!document.fullscreenElement);
document.onkeydown = (e) => {
  if ((e.ctrlKey && e.key == 'r') || e.key == 'F11') e.preventDefault();
  if (e.key == 'f') document.documentElement.requestFullscreen();
  if (e.key == 'p') open('/popup', 'popup', 'width=300,height=200');
  if (/^[a-z]$/.test(e.key) && !e.ctrlKey) report('key', e.key);
};
</script></body></html>)";

} // namespace

void TestProgram::keysReachPageAndWindow()
{
    PlatformServer::Route page;
    page.body = keysPage;
    server.server()->setRoute("/", page);
    takeReports(server);
    server.server()->setRoute("/popup", PlatformServer::Route());
    ClientSession session;
    QVERIFY(openPage(session));
    const unsigned long view = session.waitForViewWindow();

    // Was: the view held off the screen during the first load came back with
    // no widget holding the keyboard; nothing typed reached the page. No
    // click and no activation here: a user types as soon as the page shows.
    QCOMPARE(report(server, "focus"), QStringLiteral("1"));
    QVERIFY(user::type(QStringLiteral("a")));
    QCOMPARE(report(server, "key", 1), QStringLiteral("a"));

    QVERIFY(user::type(QStringLiteral("f")));
    QCOMPARE(report(server, "fullscreen", 1), QStringLiteral("true"));
    QVERIFY(user::key(QStringLiteral("Escape")));
    QCOMPARE(report(server, "fullscreen", 2), QStringLiteral("false"));
    session.mark(QStringLiteral("Escape left full screen"));

    // The page's own Ctrl+R stays the page's; F5 reloads the address the
    // page has, as it was first sent; the page has the keyboard again.
    QVERIFY(user::key(QStringLiteral("ctrl+r")) && user::key(QStringLiteral("F5")));
    QCOMPARE(report(server, "loaded", 2), QStringLiteral("1"));
    QCOMPARE(report(server, "focus", 2), QStringLiteral("1"));
    QVERIFY(user::type(QStringLiteral("b")));
    QCOMPARE(report(server, "key", 3), QStringLiteral("b"));
    const QList<PlatformServer::Request> requests = server.server()->requests();
    QList<QByteArray> queries;
    for (const PlatformServer::Request &request : requests) {
        if (request.path == "/")
            queries << request.query;
    }
    QCOMPARE(queries.size(), 2);
    QCOMPARE(queries.at(1), queries.at(0));
    session.mark(QStringLiteral("F5 reloaded"));

    // F11 is the window's even though the page cancels it: full screen with
    // no frame, then maximized again.
    const QRect maximized = x11::screenGeometry(view);
    QCOMPARE(maximized.width(), x11::screenSize().width());
    QVERIFY(user::key(QStringLiteral("F11")));
    QTRY_COMPARE_WITH_TIMEOUT(x11::screenGeometry(view), QRect(QPoint(0, 0), x11::screenSize()), 10000);
    QVERIFY(user::key(QStringLiteral("F11")));
    QTRY_COMPARE_WITH_TIMEOUT(x11::screenGeometry(view), maximized, 10000);
    session.mark(QStringLiteral("F11 and back"));

    QVERIFY(user::key(QStringLiteral("ctrl+plus")));
    // 110%; the ratio is a float in the page.
    QVERIFY(qAbs(report(server, "ratio", 1).toDouble() - 1.1 * x11::screenScale()) < 0.001);
    QVERIFY(user::key(QStringLiteral("ctrl+0")));
    QCOMPARE(report(server, "ratio", 2).toDouble(), 1.0 * x11::screenScale());

    // The page has the keyboard again once a popup has closed, and once its
    // killed renderer has been replaced.
    QVERIFY(user::type(QStringLiteral("p")));
    QTRY_COMPARE_WITH_TIMEOUT(session.windows().size(), 2, 20000);
    const unsigned long popup = session.windows().at(session.windows().at(0) == view ? 1 : 0);
    QVERIFY(user::activate(popup));
    QCOMPARE(report(server, "focus", 3), QStringLiteral("0"));
    QVERIFY(x11::requestClose(popup));
    QCOMPARE(report(server, "focus", 4), QStringLiteral("1"));
    for (qint64 pid : proc::renderers(session.pid()))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    QCOMPARE(report(server, "loaded", 3), QStringLiteral("1"));
    QCOMPARE(report(server, "focus", 5), QStringLiteral("1"));
}
