// The engine layer's browsers against the real engine and a loopback server.
#include <memory>

#include <QTcpServer>
#include <QWidget>
#include <QtTest>

#include "enginetestmain.h"
#include "include/cef_browser.h"
#include "platformserverthread.h"
#include "platformserver.h"
#include "recordingclient.h"
#include "stringcollector.h"
#include "x11util.h"

class TestCefBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void createsChildOfGivenWindow();
    void loadUrlBackAndForward();
    void closeSequenceRunsOnceInOrder();
    void closeHandledByClientKeepsBrowser();
    void popupFromWindowOpen();
    void loadErrorsCarryCodeAndName_data();
    void loadErrorsCarryCodeAndName();
    void stopLoadReportsAborted();
    void loadStringShowsContentUnderUrl();
    void deletedParentDeliversBeforeClose();

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

    PlatformServerThread server;
};

void TestCefBrowser::initTestCase()
{
    QString error;
    QVERIFY2(server.start(QHostAddress(QStringLiteral("127.0.0.1")), 0, &error), qPrintable(error));
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

void TestCefBrowser::createsChildOfGivenWindow()
{
    Browser b = create(url("/title?t=Hello"), true, CefRect(10, 20, 200, 100));
    QVERIFY(b.browser);
    QVERIFY(!b.browser->IsPopup());
    // Identifiers are positive and unique.
    Browser other = create(QStringLiteral("about:blank"), false);
    QVERIFY(other.browser);
    QVERIFY(b.browser->GetIdentifier() > 0 && other.browser->GetIdentifier() > 0);
    QVERIFY(!b.browser->IsSame(other.browser) && b.browser->IsSame(b.browser));
    QVERIFY(other.close());
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(QStringLiteral("title %1 Hello").arg(b.browser->GetIdentifier())), 20000);
    QCOMPARE(b.client->wrongThreadCalls(), 0);

    // The browser's window is a native child of the given window, at the
    // given place, as the X server sees it.
    const CefWindowHandle handle = b.browser->GetHost()->GetWindowHandle();
    QVERIFY(handle != 0);
    QVERIFY(handle != b.host->winId());
    QWidget *child = QWidget::find(static_cast<WId>(handle));
    QVERIFY(child);
    QCOMPARE(child->parentWidget(), b.host.get());
    const QRect hostOnScreen = x11::screenGeometry(b.host->winId());
    QTRY_COMPARE(x11::screenGeometry(handle), QRect(hostOnScreen.topLeft() + QPoint(10, 20), QSize(200, 100)));
    QVERIFY(x11::isViewable(handle));

    QVERIFY(b.close());
}

void TestCefBrowser::loadUrlBackAndForward()
{
    Browser b = create(url("/title?t=First"));
    QVERIFY(b.browser);
    const int id = b.browser->GetIdentifier();
    const QString first = QStringLiteral("title %1 First").arg(id);
    const QString second = QStringLiteral("title %1 Page 2").arg(id);
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(first), 20000);

    b.browser->GetMainFrame()->LoadURL(url("/page2"));
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(second), 20000);
    QTRY_VERIFY(b.browser->CanGoBack());
    QVERIFY(!b.browser->CanGoForward());

    b.client->clear();
    b.browser->GoBack();
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(first), 20000);
    QTRY_VERIFY(b.browser->CanGoForward());

    b.client->clear();
    b.browser->GoForward();
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(second), 20000);
    QCOMPARE(b.client->wrongThreadCalls(), 0);
    QVERIFY(b.close());
}

void TestCefBrowser::closeSequenceRunsOnceInOrder()
{
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    const int id = b.browser->GetIdentifier();
    b.client->clear();

    b.browser->GetHost()->CloseBrowser(false);
    b.browser->GetHost()->CloseBrowser(false);
    QTRY_COMPARE(b.client->events("before-close").size(), 1);
    // DoClose comes first and only once; nothing follows OnBeforeClose.
    QTest::qWait(200);
    const QStringList closeEvents = b.client->events().filter(QRegularExpression(QStringLiteral("^(do-close|before-close)")));
    QCOMPARE(closeEvents, QStringList() << QStringLiteral("do-close %1").arg(id) << QStringLiteral("before-close %1").arg(id));
    QCOMPARE(b.client->events().last(), QStringLiteral("before-close %1").arg(id));
    // The client agreed, so the top-level window was closed.
    QVERIFY(!b.host->isVisible());
    QCOMPARE(b.browser->GetHost()->GetWindowHandle(), CefWindowHandle(0));
    QCOMPARE(b.client->wrongThreadCalls(), 0);
}

void TestCefBrowser::closeHandledByClientKeepsBrowser()
{
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    b.client->handleClose = true;
    b.browser->GetHost()->CloseBrowser(false);
    QTRY_COMPARE(b.client->events("do-close").size(), 1);
    QTest::qWait(300);
    QVERIFY(b.client->events("before-close").isEmpty());
    QVERIFY(b.host->isVisible());
    QVERIFY(b.browser->GetHost()->GetWindowHandle() != 0);
    // Deleting the parent takes the browser with it.
}

void TestCefBrowser::popupFromWindowOpen()
{
    Browser b = create(url("/title?t=Opener"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.client->events("title").filter("Opener").isEmpty(), 20000);

    b.browser->GetMainFrame()->ExecuteJavaScript(
        QStringLiteral("window.open('/popup', 'p', 'width=300,height=200')").toStdString(), "", 0);
    QTRY_COMPARE_WITH_TIMEOUT(b.client->browsers().size(), 2, 20000);
    CefRefPtr<CefBrowser> popup = b.client->browser(1);
    QVERIFY(popup->IsPopup());
    QVERIFY(!popup->IsSame(b.browser));
    const int popupId = popup->GetIdentifier();
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("title").contains(QStringLiteral("title %1 Popup").arg(popupId)), 20000);

    // The popup lives in a top-level window of its own.
    QWidget *popupView = QWidget::find(static_cast<WId>(popup->GetHost()->GetWindowHandle()));
    QVERIFY(popupView);
    QVERIFY(popupView->window() != b.host.get());
    QVERIFY(popupView->window()->isWindow());
    QVERIFY(!popupView->window()->testAttribute(Qt::WA_QuitOnClose));

    // The page closes itself: the close sequence runs for the popup only.
    popup->GetMainFrame()->ExecuteJavaScript("window.close()", "", 0);
    QTRY_COMPARE_WITH_TIMEOUT(b.client->events("before-close").size(), 1, 20000);
    QCOMPARE(b.client->events("do-close"), QStringList(QStringLiteral("do-close %1").arg(popupId)));
    QCOMPARE(b.client->events("before-close"), QStringList(QStringLiteral("before-close %1").arg(popupId)));
    QCOMPARE(b.client->browsers().size(), 1);
    QCOMPARE(b.client->wrongThreadCalls(), 0);
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
}

void TestCefBrowser::loadErrorsCarryCodeAndName()
{
    QFETCH(QString, address);
    QFETCH(int, code);
    QFETCH(QString, name);
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    b.browser->GetMainFrame()->LoadURL(address);
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

void TestCefBrowser::stopLoadReportsAborted()
{
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
    b.browser->GetMainFrame()->LoadURL(url("/slow"));
    QTRY_VERIFY_WITH_TIMEOUT(b.browser->IsLoading(), 20000);
    b.browser->StopLoad();
    QTRY_COMPARE_WITH_TIMEOUT(b.client->loadErrors().size(), 1, 20000);
    QCOMPARE(b.client->loadErrors().first().code, -3);
    QCOMPARE(b.client->loadErrors().first().text, QStringLiteral("ERR_ABORTED"));
    QCOMPARE(b.client->loadErrors().first().failedUrl, url("/slow"));
    QVERIFY(b.close());
}

void TestCefBrowser::loadStringShowsContentUnderUrl()
{
    Browser b = create(QStringLiteral("about:blank"));
    QVERIFY(b.browser);
    const QString address = url("/shown-here");
    b.browser->GetMainFrame()->LoadString(QStringLiteral("<html><body><h2>Hallo, 世界</h2></body></html>"), address);
    QTRY_VERIFY_WITH_TIMEOUT(b.client->events("address").contains(
                                 QStringLiteral("address %1 %2").arg(b.browser->GetIdentifier()).arg(address)),
                             20000);
    CefRefPtr<StringCollector> text = new StringCollector();
    QTRY_VERIFY_WITH_TIMEOUT(!b.browser->IsLoading(), 20000);
    b.browser->GetMainFrame()->GetText(text.get());
    QTRY_VERIFY(text->done());
    QCOMPARE(text->text().trimmed(), QStringLiteral("Hallo, 世界"));
    // Nothing was fetched from the server for it.
    for (const PlatformServer::Request &request : server.server()->requests())
        QVERIFY(request.path != "/shown-here");
    QVERIFY(b.close());
}

void TestCefBrowser::deletedParentDeliversBeforeClose()
{
    Browser b = create(QStringLiteral("about:blank"), false);
    QVERIFY(b.browser);
    b.host.reset();
    QTRY_COMPARE(b.client->events("before-close").size(), 1);
    QVERIFY(b.client->events("do-close").isEmpty());
    QCOMPARE(b.browser->GetHost()->GetWindowHandle(), CefWindowHandle(0));
}

ENGINE_TEST_MAIN(TestCefBrowser)
#include "tst_cefbrowser.moc"
