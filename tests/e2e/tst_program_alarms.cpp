// Alarms the platform raises as web notifications, on the real program with
// real input: in the window, on the desktop, and to the user's attention.
#include "programtest.h"

#include <algorithm>

#include "devtools.h"
#include "notificationserver.h"
#include "useractions.h"
#include "x11util.h"

namespace {

const QPoint allowButton(120, 40);
const QPoint pingButton(120, 100);

const char alarmPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Alarms</title>
<style>body{margin:0} button{position:absolute;left:20px;width:200px;height:40px}</style></head><body>
<button id="allow" style="top:20px">allow</button><button id="ping" style="top:80px">ping</button>
<script>
function report(key, value) { fetch('/report?' + key + '=' + encodeURIComponent(value)); }
allow.onclick = () => Notification.requestPermission().then(p => report('permission', p));
ping.onclick = () => report('ping', 1);
function raise(title, body, tag) {
  const n = window.last = new Notification(title, {body: body, tag: tag || ''});
  for (const type of ['show', 'click', 'close']) n.addEventListener(type, () => report(type, title));
}
report('loaded', 1);
</script></body></html>)";

// The notices over the page, top first: the view's small native children.
QList<unsigned long> notices(unsigned long view)
{
    QList<unsigned long> found;
    const int width = x11::screenGeometry(view).width();
    for (unsigned long child : x11::children(view)) {
        if (x11::isViewable(child) && x11::screenGeometry(child).width() < width / 2)
            found << child;
    }
    std::sort(found.begin(), found.end(), [](unsigned long a, unsigned long b) {
        return x11::screenGeometry(a).y() < x11::screenGeometry(b).y();
    });
    return found;
}

} // namespace

void TestProgram::alarmsReachTheOperator()
{
    NotificationServer desktop;
    QVERIFY(desktop.start());
    DevTools devTools;
    ClientSession session;
    session.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools.address());
    session.setEnv(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), desktop.address());
    PlatformServer::Route page;
    page.body = alarmPage;
    server.server()->setRoute("/", page);
    takeReports(server);
    QVERIFY(startAndLogIn(session, address));
    const unsigned long view = session.waitForViewWindow();
    QVERIFY(view && !report(server, "loaded").isNull() && user::activate(view));
    const auto raise = [&](const QString &title, const QString &body) {
        return !devTools.evaluate(QString(), QStringLiteral("raise(%1, %2)").arg(title, body)).isNull();
    };
    const auto heard = [&](const QByteArray &key, const QString &value) {
        QString seen;
        for (int n = 1; !(seen = reportNow(server, key, n)).isNull(); ++n) {
            if (seen == value)
                return true;
        }
        return false;
    };

    // The user allows notifications in the question that names the platform.
    QVERIFY(user::click(view, allowButton.x(), allowButton.y()));
    const QString origin = QStringLiteral("http://") + address;
    QTRY_VERIFY_WITH_TIMEOUT(!x11::findWindows(origin).isEmpty(), 20000);
    QVERIFY(user::activate(x11::findWindows(origin).first()) && user::key(QStringLiteral("Return")));
    QCOMPARE(report(server, "permission"), QStringLiteral("granted"));

    // An alarm while the window is minimized: the page hears `show`, the
    // window asks for attention, the desktop shows it, and the notice is
    // there once the window is back.
    const QRect placed = x11::screenGeometry(view);
    const auto minimize = [view] {
        return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), QStringLiteral("--sync"),
                                                            QString::number(view)})
            == 0;
    };
    QVERIFY(minimize());
    QVERIFY(raise(QStringLiteral("'Motion on camera 3'"), QStringLiteral("'Zone A'")));
    QTRY_VERIFY_WITH_TIMEOUT(heard("show", QStringLiteral("Motion on camera 3")), 20000);
    QTRY_VERIFY(x11::hasState(view, "_NET_WM_STATE_DEMANDS_ATTENTION"));
    QTRY_COMPARE(desktop.shown.size(), 1);
    QCOMPARE(desktop.shown[0].title, QStringLiteral("Motion on camera 3"));
    QCOMPARE(desktop.shown[0].body, QStringLiteral("Zone A"));
    QVERIFY(notices(view).isEmpty());
    QVERIFY(user::activate(view));
    QTRY_COMPARE(notices(view).size(), 1);
    // Once the window manager's animation of the restore has ended.
    QTRY_COMPARE(x11::screenGeometry(view), placed);

    // Clicking the notice answers the page, and the notice goes; a click on
    // the desktop's also brings the minimized window back.
    QVERIFY(user::click(notices(view).first(), 40, 40));
    QTRY_VERIFY(heard("click", QStringLiteral("Motion on camera 3")));
    QTRY_VERIFY(notices(view).isEmpty());
    QVERIFY(heard("close", QStringLiteral("Motion on camera 3")));
    QVERIFY(minimize() && raise(QStringLiteral("'Disk failure on recorder 2'"), QStringLiteral("''")));
    QTRY_COMPARE(desktop.shown.size(), 2);
    desktop.click(desktop.shown[1].id);
    QTRY_VERIFY(heard("click", QStringLiteral("Disk failure on recorder 2")));
    QTRY_VERIFY(notices(view).isEmpty());
    QTRY_VERIFY(x11::isViewable(view));
    QTRY_COMPARE(x11::screenGeometry(view), placed);

    // The page closes an alarm itself: its notice goes.
    QVERIFY(raise(QStringLiteral("'Door open'"), QStringLiteral("''")));
    QTRY_COMPARE(notices(view).size(), 1);
    QVERIFY(!devTools.evaluate(QString(), QStringLiteral("last.close()")).isNull());
    QTRY_VERIFY(notices(view).isEmpty());

    // The same tag replaces the notice before.
    QVERIFY(!devTools.evaluate(QString(), QStringLiteral("raise('Camera 5 offline', '', 'c5'); raise('Camera 5 lost', '', 'c5')"))
                 .isNull());
    QTRY_VERIFY(heard("show", QStringLiteral("Camera 5 lost")));
    QCOMPARE(notices(view).size(), 1);

    // A storm of 50: five notices and the count of the rest, and the page
    // still takes a click at once.
    QVERIFY(!devTools.evaluate(QString(), QStringLiteral("for (let i = 1; i <= 50; i++) raise('Alarm ' + i, '')"))
                 .isNull());
    QTRY_VERIFY_WITH_TIMEOUT(heard("show", QStringLiteral("Alarm 50")), 30000);
    QTRY_COMPARE(notices(view).size(), 6);
    QVERIFY(user::click(view, pingButton.x(), pingButton.y()));
    QVERIFY(!report(server, "ping", 1, 5000).isNull());

    // Markup is shown as text: the image would make the notice 600 pixels
    // tall. The desktop's server reads body markup, so the body goes there
    // escaped.
    const QString markup = QStringLiteral("<b>Motion</b><img src=x onerror=alert(1) width=600 height=600>");
    QVERIFY(raise(QLatin1Char('\'') + markup + QLatin1Char('\''), QStringLiteral("'<b>Zone B</b>'")));
    QTRY_VERIFY(heard("show", markup));
    QVERIFY2(x11::screenGeometry(notices(view).first()).height() < 200, qPrintable(x11::describe(notices(view).first())));
    QTRY_COMPARE(desktop.shown.last().title, markup);
    QCOMPARE(desktop.shown.last().body, QStringLiteral("&lt;b&gt;Zone B&lt;/b&gt;"));

    // The count closes the folded alarms.
    QVERIFY(user::click(notices(view).last(), 20, 10));
    QTRY_COMPARE(notices(view).size(), 5);
    QTRY_VERIFY(heard("close", QStringLiteral("Alarm 1")));
}
