// The engine layer's browsers against the real engine and a loopback server.
#include <signal.h>

#include <cmath>
#include <functional>
#include <memory>

#include <QProcess>
#include <QSslCertificate>
#include <QTcpServer>
#include <QWidget>
#include <QtTest>

#include "enginetestmain.h"
#include "include/cef_browser.h"
#include "include/wrapper/cef_closure_task.h"
#include "libcef/engine/browser_host_impl.h"
#include "libcef/engine/browser_info_manager.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/stats.h"
#include "platformserverthread.h"
#include "platformserver.h"
#include "recordingclient.h"
#include "useractions.h"
#include "windowmanager.h"
#include "x11util.h"

class TestCefBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void viewHeldOffScreenComesBack_data();
    void viewHeldOffScreenComesBack();
    void popupFromWindowOpen();
    void reloadOfStringPageAsksItsAddress();
    void loadErrorsCarryCodeAndName_data();
    void loadErrorsCarryCodeAndName();
    void pendingErrorReadEnds_data();
    void pendingErrorReadEnds();
    void nothingAfterBeforeClose_data();
    void nothingAfterBeforeClose();
    void closeAfterBrowserIsGoneIsIgnored_data();
    void closeAfterBrowserIsGoneIsIgnored();
    void closeTriesAgainAndForceUpgrades_data();
    void closeTriesAgainAndForceUpgrades();
    void failedLoadsKeepTheirOwnCodes_data();
    void failedLoadsKeepTheirOwnCodes();
    void consoleGoesToTheClient();
    void pageGoesWhileItsDialogIsOpen();
    void fullscreenAndBack_data();
    void fullscreenAndBack();
    void certificateErrorsWaitForTheClient_data();
    void certificateErrorsWaitForTheClient();

private:
    struct Browser
    {
        std::unique_ptr<QWidget> host;
        CefRefPtr<RecordingClient> client;
        CefRefPtr<CefBrowser> browser;
        // Closes the browser and waits for its OnBeforeClose.
        bool close()
        {
            browser->GetHost()->CloseBrowser(true);
            return QTest::qWaitFor([this] { return !client->events("before-close").isEmpty(); }, 20000);
        }
    };
    // A browser in a host window of its own, shown unless |show| is false.
    Browser create(const QString &url, bool show = true, const CefRect &rect = CefRect(0, 0, 320, 240));
    QString url(const QString &path) const { return server.server()->baseUrl() + path; }
    static quint16 closedPort();
    // The engine page that shows |browser|.
    static QWebEnginePage *pageOf(CefRefPtr<CefBrowser> browser);
    // Runs |action| once, right after the layer has seen the next failed load
    // of |browser|.
    void onNextFailure(CefRefPtr<CefBrowser> browser, std::function<void()> action);
    // Waits until every callback the layer has posted so far has run.
    static bool settleUiThread(RecordingClient *client);

    PlatformServerThread server;
    // The same over https, with a certificate nobody vouches for.
    QTemporaryDir keys;
    PlatformServerThread httpsServer;
    // Fullscreen and its way back are the window manager's business, as on
    // a desktop.
    QProcess windowManager;
};

void TestCefBrowser::cleanupTestCase()
{
    windowManager.kill();
    windowManager.waitForFinished();
}

void TestCefBrowser::initTestCase()
{
    QVERIFY(windowmanager::start(windowManager));
    QString error;
    QVERIFY2(server.start(QHostAddress(QStringLiteral("127.0.0.1")), 0, &error), qPrintable(error));
    const QString certificate = keys.filePath("cert.pem"), key = keys.filePath("key.pem");
    QVERIFY(PlatformServer::makeCertificate(QStringLiteral("127.0.0.1"), certificate, key));
    QVERIFY2(httpsServer.start(QHostAddress(QStringLiteral("127.0.0.1")), 0, &error, certificate, key),
             qPrintable(error));
    PlatformServer::Route secure;
    secure.body = "<html><head><title>Secure</title></head></html>";
    httpsServer.server()->setRoute("/secure", secure);
}

TestCefBrowser::Browser TestCefBrowser::create(const QString &address, bool show, const CefRect &rect)
{
    Browser made;
    made.host.reset(new QWidget());
    made.host->resize(400, 300);
    if (show) {
        made.host->show();
        if (!QTest::qWaitForWindowExposed(made.host.get()))
            return made;
    }
    made.client = new RecordingClient();
    CefWindowInfo info;
    info.SetAsChild(static_cast<CefWindowHandle>(made.host->winId()), rect);
    const bool accepted = CefBrowserHost::CreateBrowser(info, made.client.get(), address, CefBrowserSettings(), nullptr);
    if (!accepted)
        return made;
    if (!QTest::qWaitFor([&] { return made.client->browser(0) != nullptr; }, 20000))
        return made;
    made.browser = made.client->browser(0);
    return made;
}

quint16 TestCefBrowser::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QWebEnginePage *TestCefBrowser::pageOf(CefRefPtr<CefBrowser> browser)
{
    const CefRefPtr<CefBrowserHostImpl> impl = cef::BrowserInfoManager::GetInstance()->GetBrowser(browser->GetIdentifier());
    return impl && impl->view() ? impl->view()->page() : nullptr;
}

void TestCefBrowser::onNextFailure(CefRefPtr<CefBrowser> browser, std::function<void()> action)
{
    QWebEnginePage *page = pageOf(browser);
    QVERIFY(page);
    // Connected after the layer's own slot, which runs first.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(page, &QWebEnginePage::loadFinished, this, [connection, action](bool ok) {
        if (ok)
            return;
        disconnect(*connection);
        action();
    });
}

bool TestCefBrowser::settleUiThread(RecordingClient *client)
{
    static int serial = 0;
    const QString marker = QStringLiteral("marker %1").arg(++serial);
    CefRefPtr<RecordingClient> keep = client;
    if (!CefPostTask(TID_UI, [keep, marker] { keep->record(marker); }))
        return false;
    return QTest::qWaitFor([client, marker] { return client->events().contains(marker); }, 20000);
}

void TestCefBrowser::viewHeldOffScreenComesBack_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title"); // none when the page never comes
    QTest::newRow("page loads") << QStringLiteral("/title?t=Held") << QStringLiteral("Held");
    QTest::newRow("server never answers") << QStringLiteral("/hang") << QString();
}

// A browser whose window is shown right after a load keeps its view off the
// screen while that load runs. Symptom guarded against: a window that stays
// blank because its view never comes back.
void TestCefBrowser::viewHeldOffScreenComesBack()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    PlatformServer::Route hang;
    hang.behaviour = PlatformServer::Route::Hang;
    server.server()->setRoute("/hang", hang);
    Browser b = create(QStringLiteral("about:blank"), false);
    QVERIFY(b.browser);
    QVERIFY(QTest::qWaitFor([&] { return !b.browser->IsLoading(); }, 20000));
    b.browser->GetMainFrame()->LoadURL(url(path));
    b.host->show();
    QVERIFY(QTest::qWaitForWindowExposed(b.host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(x11::isViewable(b.browser->GetHost()->GetWindowHandle()), 10000);
    if (!title.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(QStringLiteral("title %1 %2").arg(b.browser->GetIdentifier()).arg(title)), 20000);
    QVERIFY(b.close());
}

// Symptom guarded against: F5 on the error page showed the error page again
// and ended the retries, as if the user had gone elsewhere.
void TestCefBrowser::reloadOfStringPageAsksItsAddress()
{
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    QVERIFY(QTest::qWaitFor([&] { return !b.browser->IsLoading(); }, 20000));
    b.browser->GetMainFrame()->LoadString("<title>Failed</title>", url("/title?t=Answered"));
    const QString prefix = QStringLiteral("title %1 ").arg(b.browser->GetIdentifier());
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(prefix + "Failed"), 20000);
    b.browser->Reload();
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(prefix + "Answered"), 20000);
    QVERIFY(b.close());
}

// A popup that closes itself leaves nothing behind once its last reference
// is gone: a wall that opens one a minute must not grow.
void TestCefBrowser::popupFromWindowOpen()
{
    Browser b = create(url("/title?t=Opener"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("title").filter("Opener").isEmpty(), 20000);
    const long browsersBefore = cef::stats::Get(cef::stats::kBrowsers);
    const long pagesBefore = cef::stats::Get(cef::stats::kPages);

    b.browser->GetMainFrame()->ExecuteJavaScript("window.open('/popup', 'p', 'width=300,height=200')", "", 0);
    QTRY_COMPARE_WITH_TIMEOUT(b.client->browsers().size(), 2, 20000);
    CefRefPtr<CefBrowser> popup = b.client->browser(1);
    const int popupId = popup->GetIdentifier();
    QVERIFY(popup->IsPopup());
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(QStringLiteral("title %1 Popup").arg(popupId)), 20000);
    popup->GetMainFrame()->ExecuteJavaScript("window.close()", "", 0);
    QTRY_COMPARE_WITH_TIMEOUT(b.client->events("before-close"), QStringList(QStringLiteral("before-close %1").arg(popupId)),
                              20000);
    QCOMPARE(b.client->wrongThreadCalls(), 0);
    popup = nullptr;
    QTRY_COMPARE(cef::stats::Get(cef::stats::kPages), pagesBefore);
    QTRY_COMPARE(cef::stats::Get(cef::stats::kBrowsers), browsersBefore);
    b.browser->GetHost()->CloseBrowser(true);
    QTRY_COMPARE(b.client->events("before-close").size(), 2);
}

void TestCefBrowser::loadErrorsCarryCodeAndName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort()) << -102
                             << QStringLiteral("ERR_CONNECTION_REFUSED");
    QTest::newRow("unresolvable") << QStringLiteral("http://no-such-host.invalid/") << -105
                                  << QStringLiteral("ERR_NAME_NOT_RESOLVED");
    // The server keeps "/slow" waiting; the load is stopped meanwhile.
    QTest::newRow("stopped") << QStringLiteral("/slow") << -3 << QStringLiteral("ERR_ABORTED");
}

void TestCefBrowser::loadErrorsCarryCodeAndName()
{
    QFETCH(QString, address);
    QFETCH(int, code);
    QFETCH(QString, name);
    if (address.startsWith(QLatin1Char('/')))
        address = url(address);
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
    b.browser->GetMainFrame()->LoadURL(address);
    if (code == -3) {
        QTRY_VERIFY_WITH_TIMEOUT(b.browser->IsLoading(), 20000);
        b.browser->StopLoad();
    }
    QTRY_COMPARE_WITH_TIMEOUT(b.client->loadErrors().size(), 1, 30000);
    const RecordingClient::LoadError error = b.client->loadErrors().first();
    QCOMPARE(error.code, code);
    QCOMPARE(error.text, name);
    QCOMPARE(error.failedUrl, address);
    // The error comes between the start and the end of that load.
    QTRY_VERIFY(b.client->events().last().startsWith(QStringLiteral("loading")));
    const QStringList events = b.client->events();
    const int errorAt = events.indexOf(QRegularExpression(QStringLiteral("load-error .*")));
    QVERIFY(events.indexOf(QRegularExpression(QStringLiteral("loading \\d+ 1.*"))) < errorAt);
    QVERIFY(events.lastIndexOf(QRegularExpression(QStringLiteral("loading \\d+ 0.*"))) > errorAt);
    QVERIFY(b.close());
}

void TestCefBrowser::pendingErrorReadEnds_data()
{
    QTest::addColumn<QString>("what");
    // Was: every later callback of the browser waited for an answer that a
    // dead renderer never gives; crash recovery stopped with them.
    QTest::newRow("renderer killed") << QStringLiteral("kill");
    QTest::newRow("renderer not answering") << QStringLiteral("stop");
    QTest::newRow("browser closed") << QStringLiteral("close");
}

void TestCefBrowser::pendingErrorReadEnds()
{
    QFETCH(QString, what);
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
    QWebEnginePage *page = pageOf(b.browser);
    qint64 renderer = 0;
    onNextFailure(b.browser, [&] {
        renderer = page->renderProcessPid();
        if (what == QLatin1String("kill"))
            ::kill(pid_t(renderer), SIGKILL);
        else if (what == QLatin1String("stop"))
            ::kill(pid_t(renderer), SIGSTOP);
        else
            b.host.reset();
    });
    b.client->clear();
    b.browser->GetMainFrame()->LoadURL(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort()));

    if (what == QLatin1String("close")) {
        QTRY_COMPARE_WITH_TIMEOUT(b.client->events("before-close").size(), 1, 20000);
        QVERIFY(settleUiThread(b.client.get()));
        const QStringList events = b.client->events();
        QCOMPARE(events.at(events.size() - 2), QStringLiteral("before-close %1").arg(b.browser->GetIdentifier()));
        return;
    }
    // The failure is told, and everything after it flows again.
    QTRY_COMPARE_WITH_TIMEOUT(b.client->loadErrors().size(), 1, 20000);
    QVERIFY(renderer > 0);
    if (what == QLatin1String("stop"))
        ::kill(pid_t(renderer), SIGCONT);
    else
        QTRY_COMPARE_WITH_TIMEOUT(b.client->events("terminated").size(), 1, 20000);
    b.browser->GetMainFrame()->LoadURL(url("/title?t=Again"));
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("title").filter("Again").isEmpty(), 20000);
    QVERIFY(b.close());
}

void TestCefBrowser::nothingAfterBeforeClose_data()
{
    QTest::addColumn<bool>("html");
    // Was: the engine answered these with an empty text once the page was
    // destroyed, after OnBeforeClose had already been told.
    QTest::newRow("source asked for") << true;
    QTest::newRow("text asked for") << false;
}

namespace {

// Records its visit among the client's callbacks.
class RecordingVisitor : public CefStringVisitor
{
public:
    explicit RecordingVisitor(CefRefPtr<RecordingClient> client) : client(client) {}
    void Visit(const CefString &) override { client->record(QStringLiteral("visit")); }

private:
    CefRefPtr<RecordingClient> client;
    IMPLEMENT_REFCOUNTING(RecordingVisitor);
};

} // namespace

void TestCefBrowser::nothingAfterBeforeClose()
{
    QFETCH(bool, html);
    Browser b = create(url("/title?t=Closing"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("title").filter("Closing").isEmpty(), 20000);
    CefRefPtr<RecordingVisitor> visitor = new RecordingVisitor(b.client);
    if (html)
        b.browser->GetMainFrame()->GetSource(visitor.get());
    else
        b.browser->GetMainFrame()->GetText(visitor.get());
    // Posted behind the request, so that the page goes while it is pending.
    QMetaObject::invokeMethod(this, [&b] { b.host.reset(); }, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(b.client->events("before-close").size(), 1, 20000);
    QVERIFY(settleUiThread(b.client.get()));
    const QStringList events = b.client->events();
    QCOMPARE(events.at(events.size() - 2), QStringLiteral("before-close %1").arg(b.browser->GetIdentifier()));
}

void TestCefBrowser::closeAfterBrowserIsGoneIsIgnored_data()
{
    QTest::addColumn<bool>("force");
    // Was: a browser that went with its parent window still asked its client
    // whether it might close.
    QTest::newRow("close") << false;
    QTest::newRow("forced close") << true;
}

void TestCefBrowser::closeAfterBrowserIsGoneIsIgnored()
{
    QFETCH(bool, force);
    Browser b = create(QStringLiteral("about:blank"), false);
    QVERIFY(b.browser);
    // The browser goes with its parent window, and its client is told.
    b.host.reset();
    QTRY_COMPARE_WITH_TIMEOUT(b.client->events("before-close").size(), 1, 20000);
    QCOMPARE(b.browser->GetHost()->GetWindowHandle(), CefWindowHandle(0));
    b.browser->GetHost()->CloseBrowser(force);
    QVERIFY(settleUiThread(b.client.get()));
    QVERIFY(b.client->events("do-close").isEmpty());
}

namespace {

// A top-level window that refuses to close while |refuse| is set.
class StubbornWindow : public QWidget
{
public:
    bool refuse = true;
    int closeEvents = 0;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closeEvents;
        event->setAccepted(!refuse);
    }
};

} // namespace

void TestCefBrowser::closeTriesAgainAndForceUpgrades_data()
{
    // The first close, then the one that follows it.
    QTest::addColumn<bool>("clientTakesOver");
    QTest::addColumn<bool>("secondForced");
    QTest::addColumn<bool>("upgradeWhilePending");
    QTest::addColumn<bool>("closed");
    // Was: once a close had been taken over or refused, every later close of
    // the browser was ignored.
    QTest::newRow("client took it over, then agrees") << true << false << false << true;
    QTest::newRow("window refused, asked again") << false << false << false << false;
    QTest::newRow("window refused, then forced") << false << true << false << true;
    QTest::newRow("forced while the first is pending") << false << true << true << true;
}

void TestCefBrowser::closeTriesAgainAndForceUpgrades()
{
    QFETCH(bool, clientTakesOver);
    QFETCH(bool, secondForced);
    QFETCH(bool, upgradeWhilePending);
    QFETCH(bool, closed);
    Browser b;
    StubbornWindow *window = new StubbornWindow();
    window->refuse = !clientTakesOver;
    b.host.reset(window);
    window->resize(300, 200);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    b.client = new RecordingClient();
    b.client->handleClose = clientTakesOver;
    CefWindowInfo info;
    info.SetAsChild(static_cast<CefWindowHandle>(window->winId()), CefRect(0, 0, 300, 200));
    QVERIFY(CefBrowserHost::CreateBrowser(info, b.client.get(), "about:blank", CefBrowserSettings(), nullptr));
    QTRY_VERIFY_WITH_TIMEOUT((b.browser = b.client->browser(0)) != nullptr, 20000);

    b.browser->GetHost()->CloseBrowser(false);
    if (upgradeWhilePending) {
        b.browser->GetHost()->CloseBrowser(true);
    } else {
        QTRY_COMPARE(b.client->events("do-close").size(), 1);
        if (!clientTakesOver)
            QTRY_COMPARE(window->closeEvents, 1);
        b.client->handleClose = false;
        b.browser->GetHost()->CloseBrowser(secondForced);
    }
    if (closed) {
        QTRY_COMPARE_WITH_TIMEOUT(b.client->events("before-close").size(), 1, 20000);
    } else {
        QTRY_COMPARE(window->closeEvents, 2);
        QVERIFY(settleUiThread(b.client.get()));
        QVERIFY(b.client->events("before-close").isEmpty());
        QVERIFY(b.browser->GetHost()->GetWindowHandle() != 0);
    }
    // One question to the client for each close that was not a pending one.
    QCOMPARE(b.client->events("do-close").size(), upgradeWhilePending ? 1 : 2);
    window->refuse = false;
}

void TestCefBrowser::failedLoadsKeepTheirOwnCodes_data()
{
    QTest::addColumn<QString>("what");
    // Was: the second failure's code was read for the first.
    QTest::newRow("a failure follows a failure") << QStringLiteral("overlap");
    // Was: an element of that class on an ordinary page was taken for the
    // engine's error page, and a good page was replaced by an error page.
    QTest::newRow("a page with its own error-code element") << QStringLiteral("lookalike");
}

void TestCefBrowser::failedLoadsKeepTheirOwnCodes()
{
    QFETCH(QString, what);
    const QString refused = QStringLiteral("http://127.0.0.1:%1/refused").arg(closedPort());
    const QString unresolved = QStringLiteral("http://no-such-host.invalid/");
    if (what == QLatin1String("overlap")) {
        Browser b = create(QStringLiteral("about:blank"));
        QVERIFY(b.browser);
        QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
        CefRefPtr<CefBrowser> browser = b.browser;
        // The second load starts while the first one's error is being read.
        onNextFailure(browser, [browser, unresolved] { pageOf(browser)->load(QUrl(unresolved)); });
        browser->GetMainFrame()->LoadURL(refused);
        QTRY_COMPARE_WITH_TIMEOUT(b.client->loadErrors().size(), 2, 30000);
        QStringList reported;
        for (const RecordingClient::LoadError &error : b.client->loadErrors()) {
            reported << error.failedUrl;
            if (error.failedUrl == unresolved)
                QCOMPARE(error.code, -105);
            else
                QVERIFY2(error.failedUrl == refused && (error.code == -102 || error.code == -3),
                         qPrintable(error.failedUrl + QLatin1Char(' ') + QString::number(error.code)));
        }
        QCOMPARE(reported, QStringList({refused, unresolved}));
        QVERIFY(b.close());
        return;
    }
    PlatformServer::Route lookalike;
    lookalike.body = "<html><head><title>Lookalike</title></head>"
                     "<body><div class=\"error-code\">ERR_CONNECTION_REFUSED</div></body></html>";
    server.server()->setRoute("/lookalike", lookalike);
    PlatformServer::Route noContent;
    noContent.status = 204;
    server.server()->setRoute("/no-content", noContent);
    Browser b = create(url("/lookalike"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("title").filter("Lookalike").isEmpty(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
    b.client->clear();
    // A navigation that ends without a document of its own.
    b.browser->GetMainFrame()->LoadURL(url("/no-content"));
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("loading").filter(QRegularExpression(QStringLiteral(" 0 "))).isEmpty(), 20000);
    for (const RecordingClient::LoadError &error : b.client->loadErrors())
        QCOMPARE(error.code, -3);
    QVERIFY(b.close());
}

void TestCefBrowser::consoleGoesToTheClient()
{
    Browser b = create(QStringLiteral("data:text/html,<script>console.log('hello');console.error('bad')</script>"));
    QVERIFY(b.browser);
    const int id = b.browser->GetIdentifier();
    QTRY_COMPARE_WITH_TIMEOUT(b.client->events("console"),
                              QStringList({QStringLiteral("console %1 %2 hello").arg(id).arg(int(LOGSEVERITY_INFO)),
                                           QStringLiteral("console %1 %2 bad").arg(id).arg(int(LOGSEVERITY_ERROR))}),
                              20000);
    QCOMPARE(b.client->wrongThreadCalls(), 0);
    QVERIFY(b.close());
}

void TestCefBrowser::pageGoesWhileItsDialogIsOpen()
{
    // Was: the page went with its view while the engine waited in its alert,
    // and the engine went on with a page that no longer existed.
    const long pagesBefore = cef::stats::Get(cef::stats::kPages);
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    b.client->holdDialogs = true;
    // The engine waits for the answer inside its own call, so the window
    // goes from a timer that runs meanwhile.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!b.client->events("dialog").isEmpty())
            b.host.reset();
    });
    poll.start(20);
    b.browser->GetMainFrame()->ExecuteJavaScript("alert('held')", "", 0);
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("before-close").isEmpty(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(cef::stats::Get(cef::stats::kPages), pagesBefore, 20000);
}

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

// The element fills the top left 320x180 of the page. The title reports each
// fullscreen change and each key that reaches the page, numbered.
const char fullscreenPage[] =
    "<!DOCTYPE html><html><head><title>ready</title></head><body style='margin:0'>"
    "<div id=v style='position:absolute;left:0;top:0;width:320px;height:180px;background:#036'"
    " onclick='this.requestFullscreen()'></div>"
    "<script>"
    "var n = 0;"
    "document.onfullscreenchange = function () {"
    "  var e = document.fullscreenElement;"
    "  document.title = 'fullscreen ' + (++n) + ' ' + (e ? e.id : 'none'); };"
    "document.onkeydown = function (e) { document.title = 'key ' + (++n) + ' ' + e.key; };"
    "var r = devicePixelRatio;"
    "onresize = function () { if (r != devicePixelRatio) document.title = 'ratio ' + (r = devicePixelRatio); };"
    "</script></body></html>";

} // namespace

void TestCefBrowser::fullscreenAndBack_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("normal window, Escape") << false << true;
    QTest::newRow("maximized window, Escape") << true << true;
    QTest::newRow("normal window, page leaves") << false << false;
}

void TestCefBrowser::fullscreenAndBack()
{
    QFETCH(bool, maximized);
    QFETCH(bool, byEscape);
    PlatformServer::Route page;
    page.body = fullscreenPage;
    server.server()->setRoute("/fullscreen", page);

    HostWindow host;
    host.setGeometry(100, 100, 480, 360);
    if (maximized)
        host.showMaximized();
    else
        host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    CefRefPtr<RecordingClient> client = new RecordingClient();
    CefWindowInfo info;
    info.SetAsChild(static_cast<CefWindowHandle>(host.winId()), CefRect(0, 0, host.width(), host.height()));
    QVERIFY(CefBrowserHost::CreateBrowser(info, client.get(), url("/fullscreen"), CefBrowserSettings(), nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(client->browser(0), 20000);
    CefRefPtr<CefBrowser> browser = client->browser(0);
    const int id = browser->GetIdentifier();
    host.browserWindow = browser->GetHost()->GetWindowHandle();
    if (QWidget *child = QWidget::find(static_cast<WId>(host.browserWindow)))
        child->setGeometry(host.rect());
    const auto titled = [&](const QString &title) {
        return client->events("title").contains(QStringLiteral("title %1 %2").arg(id).arg(title));
    };
    QTRY_VERIFY_WITH_TIMEOUT(titled("ready"), 20000);

    const unsigned long window = host.winId();
    const QSize screen = x11::screenSize();
    if (maximized)
        QTRY_COMPARE(x11::screenGeometry(window).width(), screen.width());
    const QRect before = x11::screenGeometry(window);
    QVERIFY(before.size() != screen);

    // Fullscreen needs a user's gesture: a real click on the element.
    QVERIFY(user::activate(window));
    QVERIFY(user::click(window, 100, 80));
    QTRY_VERIFY_WITH_TIMEOUT(titled("fullscreen 1 v"), 10000);
    QTRY_COMPARE(x11::screenGeometry(window), QRect(QPoint(0, 0), screen));
    QCOMPARE(client->events("fullscreen"), QStringList{QStringLiteral("fullscreen %1 1").arg(id)});

    if (byEscape)
        QVERIFY(user::key(QStringLiteral("Escape")));
    else
        browser->GetMainFrame()->ExecuteJavaScript("document.exitFullscreen()", "", 0);
    QTRY_VERIFY_WITH_TIMEOUT(titled("fullscreen 2 none"), 10000);
    QTRY_COMPARE(x11::screenGeometry(window), before);
    QCOMPARE(client->events("fullscreen"),
             (QStringList{QStringLiteral("fullscreen %1 1").arg(id), QStringLiteral("fullscreen %1 0").arg(id)}));
    // The Escape that left fullscreen never reached the page; out of
    // fullscreen, Escape is the page's again.
    QVERIFY(client->events("title").filter(QStringLiteral(" key ")).isEmpty());
    QVERIFY(user::key(QStringLiteral("Escape")));
    QTRY_VERIFY(titled("key 3 Escape"));
    QCOMPARE(x11::screenGeometry(window), before);

    // Zoom: level 0 is 100%, each 1.0 a factor of 1.2, held within 25% to
    // 500%; Ctrl with the wheel steps through Chromium's presets.
    CefRefPtr<CefBrowserHost> zoomed = browser->GetHost();
    zoomed->SetZoomLevel(1.0);
    QCOMPARE(zoomed->GetZoomLevel(), 1.0);
    QTRY_VERIFY(titled("ratio 1.2000000476837158"));
    zoomed->SetZoomLevel(100.0);
    QTRY_VERIFY(titled("ratio 5"));
    QWidget *view = QWidget::find(static_cast<WId>(host.browserWindow));
    QWheelEvent notch(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->focusProxy(), &notch);
    QTRY_VERIFY(titled("ratio 4"));
    QCOMPARE(zoomed->GetZoomLevel(), std::log(4.0) / std::log(1.2));
    zoomed->Zoom(CEF_ZOOM_COMMAND_RESET);
    QTRY_VERIFY(titled("ratio 1"));
    browser->GetHost()->CloseBrowser(true);
    QTRY_COMPARE_WITH_TIMEOUT(client->events("before-close").size(), 1, 20000);
}

ENGINE_TEST_MAIN(TestCefBrowser)
#include "tst_cefbrowser.moc"

void TestCefBrowser::certificateErrorsWaitForTheClient_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("refused at once") << QStringLiteral("refuse");
    QTest::newRow("released unanswered") << QStringLiteral("release");
    QTest::newRow("the browser closes first") << QStringLiteral("close");
    // Last: the engine remembers a certificate let through until it quits.
    QTest::newRow("continued later") << QStringLiteral("continue");
}

// The client answers a certificate error whenever it likes, with the
// server's certificate in hand; one left unanswered refuses.
void TestCefBrowser::certificateErrorsWaitForTheClient()
{
    QFETCH(QString, answer);
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
    b.client->takeCertificateErrors = answer != QLatin1String("refuse");
    const QString page = httpsServer.server()->baseUrl() + QStringLiteral("/secure");
    b.browser->GetMainFrame()->LoadURL(page);
    QTRY_COMPARE_WITH_TIMEOUT(b.client->events("certificate").size(), 1, 20000);
    const QByteArray der = QSslCertificate::fromPath(keys.filePath("cert.pem")).value(0).toDer();
    QCOMPARE(b.client->events("certificate").first(), QStringLiteral("certificate %1 -202 %2 %3")
                                                          .arg(b.browser->GetIdentifier())
                                                          .arg(page, QString::fromLatin1(der.toBase64())));
    CefRefPtr<CefCallback> callback;
    callback.swap(b.client->certificateCallback);
    if (answer == QLatin1String("close")) {
        QVERIFY(b.close());
        callback->Continue();
    } else if (answer == QLatin1String("continue")) {
        callback->Continue();
        QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("title").filter("Secure").isEmpty(), 20000);
    } else {
        callback = nullptr;
        QTRY_COMPARE_WITH_TIMEOUT(b.client->loadErrors().size(), 1, 20000);
        QCOMPARE(b.client->loadErrors().first().code, -202);
    }
    QVERIFY(answer == QLatin1String("close") || b.close());
}
