// What a user's real clicks and keys do to video in the real engine, under a
// window manager: HTML5 fullscreen and Escape, and sound only after a click.
#include <QProcess>
#include <QWidget>
#include <QtTest>

#include "enginetestmain.h"
#include "include/cef_browser.h"
#include "platformserver.h"
#include "platformserverthread.h"
#include "recordingclient.h"
#include "useractions.h"
#include "windowmanager.h"
#include "x11util.h"

namespace {

// A top-level window whose browser child fills it, as the program's web view
// keeps it.
class HostWindow : public QWidget
{
public:
    CefWindowHandle browserWindow = 0;

protected:
    void resizeEvent(QResizeEvent *) override
    {
        if (QWidget *child = QWidget::find(static_cast<WId>(browserWindow)))
            child->setGeometry(rect());
    }
};

// The video fills the top left 320x180 of the page. The title reports each
// fullscreen change and each key that reaches the page, numbered.
const char fullscreenPage[] =
    "<!DOCTYPE html><html><head><title>ready</title></head><body style='margin:0'>"
    "<video id=v muted loop src='/video.mp4' style='position:absolute;left:0;top:0;width:320px;height:180px'"
    " onclick='this.requestFullscreen()'></video>"
    "<script>"
    "var n = 0;"
    "document.onfullscreenchange = function () {"
    "  var e = document.fullscreenElement;"
    "  document.title = 'fullscreen ' + (++n) + ' ' + (e ? e.id : 'none'); };"
    "document.onkeydown = function (e) { document.title = 'key ' + (++n) + ' ' + e.key; };"
    "</script></body></html>";

// A video with sound: playing it without a user's gesture is refused, a click
// on it plays it.
const char soundPage[] =
    "<!DOCTYPE html><html><head><title>ready</title></head><body style='margin:0'>"
    "<video id=v src='/video.mp4' style='position:absolute;left:0;top:0;width:320px;height:180px'></video>"
    "<script>"
    "function play(source) {"
    "  v.play().then(function () { document.title = source + ' playing'; },"
    "                function (e) { document.title = source + ' ' + e.name; }); }"
    "v.onclick = function () { play('click'); };"
    "play('script');"
    "</script></body></html>";

} // namespace

class TestVideoInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fullscreenAndBack_data();
    void fullscreenAndBack();
    void clickAllowsSound();

private:
    // A browser on |path| filling |host|, once the page has its first title.
    CefRefPtr<CefBrowser> open(HostWindow &host, RecordingClient *client, const QByteArray &path);
    static QStringList titles(RecordingClient *client);
    static void close(CefRefPtr<CefBrowser> browser, RecordingClient *client);

    QProcess windowManager;
    PlatformServerThread server;
};

void TestVideoInput::initTestCase()
{
    // Fullscreen and its way back are the window manager's business, as on a
    // desktop.
    QVERIFY(windowmanager::start(windowManager));

    QString error;
    QVERIFY2(server.start(QHostAddress(QStringLiteral("127.0.0.1")), 0, &error), qPrintable(error));
    server.server()->setVideoFile(QStringLiteral(VMP_MEDIA_DIR "/clip.mp4"));
    PlatformServer::Route page;
    page.body = fullscreenPage;
    server.server()->setRoute("/fullscreen", page);
    page.body = soundPage;
    server.server()->setRoute("/sound", page);
}

void TestVideoInput::cleanupTestCase()
{
    windowManager.kill();
    windowManager.waitForFinished();
}

CefRefPtr<CefBrowser> TestVideoInput::open(HostWindow &host, RecordingClient *client, const QByteArray &path)
{
    CefWindowInfo info;
    info.SetAsChild(static_cast<CefWindowHandle>(host.winId()), CefRect(0, 0, host.width(), host.height()));
    if (!CefBrowserHost::CreateBrowser(info, client, server.server()->baseUrl() + QString::fromLatin1(path),
                                       CefBrowserSettings(), nullptr)
        || !QTest::qWaitFor([&] { return client->browser(0) != nullptr; }, 20000))
        return nullptr;
    CefRefPtr<CefBrowser> browser = client->browser(0);
    host.browserWindow = browser->GetHost()->GetWindowHandle();
    if (QWidget *child = QWidget::find(static_cast<WId>(host.browserWindow)))
        child->setGeometry(host.rect());
    if (!QTest::qWaitFor([&] { return titles(client).contains(QLatin1String("ready")); }, 20000))
        return nullptr;
    return browser;
}

QStringList TestVideoInput::titles(RecordingClient *client)
{
    QStringList found;
    CefRefPtr<CefBrowser> browser = client->browser(0);
    if (!browser)
        return found;
    const QString prefix = QStringLiteral("title %1 ").arg(browser->GetIdentifier());
    for (const QString &line : client->events(prefix))
        found << line.mid(prefix.size());
    return found;
}

void TestVideoInput::close(CefRefPtr<CefBrowser> browser, RecordingClient *client)
{
    browser->GetHost()->CloseBrowser(true);
    QTRY_COMPARE_WITH_TIMEOUT(client->events("before-close").size(), 1, 20000);
}

void TestVideoInput::fullscreenAndBack_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("normal window, Escape") << false << true;
    QTest::newRow("maximized window, Escape") << true << true;
    QTest::newRow("normal window, page leaves") << false << false;
}

void TestVideoInput::fullscreenAndBack()
{
    QFETCH(bool, maximized);
    QFETCH(bool, byEscape);

    HostWindow host;
    host.setGeometry(100, 100, 480, 360);
    if (maximized)
        host.showMaximized();
    else
        host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    CefRefPtr<RecordingClient> client = new RecordingClient();
    CefRefPtr<CefBrowser> browser = open(host, client.get(), "/fullscreen");
    QVERIFY(browser);
    const int id = browser->GetIdentifier();

    const unsigned long window = host.winId();
    const QSize screen = x11::screenSize();
    if (maximized)
        QTRY_COMPARE(x11::screenGeometry(window).width(), screen.width());
    const QRect before = x11::screenGeometry(window);
    QVERIFY(before.size() != screen);

    // Fullscreen needs a user's gesture: a real click on the video.
    QVERIFY(user::activate(window));
    QVERIFY(user::click(window, 100, 80));
    QTRY_VERIFY_WITH_TIMEOUT(titles(client.get()).contains(QLatin1String("fullscreen 1 v")), 10000);
    QTRY_COMPARE(x11::screenGeometry(window), QRect(QPoint(0, 0), screen));
    QCOMPARE(client->events("fullscreen"), QStringList{QStringLiteral("fullscreen %1 1").arg(id)});

    if (byEscape)
        QVERIFY(user::key(QStringLiteral("Escape")));
    else
        browser->GetMainFrame()->ExecuteJavaScript("document.exitFullscreen()", "", 0);
    QTRY_VERIFY_WITH_TIMEOUT(titles(client.get()).contains(QLatin1String("fullscreen 2 none")), 10000);
    QTRY_COMPARE(x11::screenGeometry(window), before);
    QCOMPARE(client->events("fullscreen"),
             (QStringList{QStringLiteral("fullscreen %1 1").arg(id), QStringLiteral("fullscreen %1 0").arg(id)}));
    // The Escape that left fullscreen never reached the page; out of
    // fullscreen, Escape is the page's again.
    QVERIFY(titles(client.get()).filter(QStringLiteral("key")).isEmpty());
    QVERIFY(user::key(QStringLiteral("Escape")));
    QTRY_VERIFY(titles(client.get()).contains(QLatin1String("key 3 Escape")));
    QCOMPARE(x11::screenGeometry(window), before);

    close(browser, client.get());
}

void TestVideoInput::clickAllowsSound()
{
    HostWindow host;
    host.setGeometry(100, 100, 480, 360);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    CefRefPtr<RecordingClient> client = new RecordingClient();
    CefRefPtr<CefBrowser> browser = open(host, client.get(), "/sound");
    QVERIFY(browser);

    // A page may not start sound on its own...
    QTRY_VERIFY_WITH_TIMEOUT(titles(client.get()).contains(QLatin1String("script NotAllowedError")), 10000);
    // ...but the user's click lets it.
    QVERIFY(user::activate(host.winId()));
    QVERIFY(user::click(host.winId(), 100, 80));
    QTRY_VERIFY_WITH_TIMEOUT(titles(client.get()).contains(QLatin1String("click playing")), 10000);

    close(browser, client.get());
}

ENGINE_TEST_MAIN(TestVideoInput)
#include "tst_videoinput.moc"
