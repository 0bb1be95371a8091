// The client handler against fake browsers and frames, its callbacks run on
// the engine's browser UI thread as the engine runs them (runOnUi).
#include <QtTest>

#include "fakebrowser.h"
#include "qcefclienthandler.h"
#include "uithread.h"

namespace {

// Records the reports the handler makes, as lines of text. Read once the
// calls into the handler have returned.
class RecordingListener : public QCefClientHandler::Listener
{
public:
    explicit RecordingListener(QCefClientHandler *handler) : handler_(handler) { handler->SetListener(this); }
    ~RecordingListener() override { handler_->SetListener(nullptr); }

    QStringList reports;

    // The handler makes no other reports.
    void OnAddressChange(const QString &) override {}
    void OnLoadingStateChange(bool) override {}
    void OnNavStateChange(bool, bool) override {}
    void PostEvent(QEvent *event) override { delete event; }
    // With the handler's browser as the listener finds it while told.
    void OnAfterCreated() override
    {
        const CefRefPtr<CefBrowser> browser = handler_->GetBrowser();
        reports << QStringLiteral("created %1").arg(browser ? browser->GetIdentifier() : 0);
    }
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override
    {
        reports << QStringLiteral("title %1 %2").arg(browser->GetIdentifier()).arg(title.ToQString());
    }

private:
    QCefClientHandler *const handler_;
};

} // namespace

class TestQCefClientHandler : public QObject
{
    Q_OBJECT

private slots:
    void lifeCycle_data();
    void lifeCycle();
    void beforeCloseRemovesOnlyThatBrowser_data();
    void beforeCloseRemovesOnlyThatBrowser();
    void loadErrorShowsPageInFailedFrame_data();
    void loadErrorShowsPageInFailedFrame();
    void recoveriesCappedPerBrowser();
};

void TestQCefClientHandler::lifeCycle_data()
{
    QTest::addColumn<bool>("listening");
    QTest::newRow("listener") << true;
    // Everything but the reports still happens (for load errors too, below).
    QTest::newRow("no listener") << false;
}

void TestQCefClientHandler::lifeCycle()
{
    QFETCH(bool, listening);
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener(handler.get());
    if (!listening)
        handler->SetListener(nullptr);
    CefRefPtr<FakeBrowser> main = new FakeBrowser(7, false);
    CefRefPtr<FakeBrowser> popup = new FakeBrowser(8, true);
    QVERIFY(runOnUi([&] {
        handler->OnAfterCreated(main.get());
        handler->OnAfterCreated(popup.get());
        handler->OnTitleChange(main.get(), QStringLiteral("Platform"));
        handler->OnTitleChange(popup.get(), QStringLiteral("弹出窗口"));
        handler->OnTitleChange(main.get(), QString());
    }));
    // The first browser is the main one; each is held while it is open.
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
    QVERIFY(!main->HasOneRef() && !popup->HasOneRef());
    QVERIFY(!handler->IsClosing());

    bool vetoed = true;
    QVERIFY(runOnUi([&] { vetoed = handler->DoClose(main.get()); }));
    // The handler never vetoes a close; it only notes it.
    QVERIFY(!vetoed);
    QVERIFY(handler->IsClosing());
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
    QVERIFY(runOnUi([&] { handler->OnBeforeClose(main.get()); }));
    QVERIFY(!handler->GetBrowser());
    QVERIFY(handler->IsClosing());
    QVERIFY(main->HasOneRef() && !popup->HasOneRef());

    // A browser created while none is held becomes the main browser in turn.
    CefRefPtr<FakeBrowser> next = new FakeBrowser(10, true);
    QVERIFY(runOnUi([&] { handler->OnAfterCreated(next.get()); }));
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(next.get()));
    // The listener already finds the main browser while it is told of it.
    const QStringList reports{QStringLiteral("created 7"), QStringLiteral("title 7 Platform"),
                              QStringLiteral("title 8 弹出窗口"), QStringLiteral("title 7 "),
                              QStringLiteral("created 10")};
    QCOMPARE(listener.reports, listening ? reports : QStringList());
}

void TestQCefClientHandler::beforeCloseRemovesOnlyThatBrowser_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("popup");
    QTest::addColumn<bool>("sameObject");
    QTest::newRow("popup, the recorded object") << 3 << true << true;
    // The engine may hand over another object for the same browser.
    QTest::newRow("popup, another object for it") << 3 << true << false;
    QTest::newRow("unknown popup") << 99 << true << false;
    QTest::newRow("unknown browser") << 99 << false << false;
}

void TestQCefClientHandler::beforeCloseRemovesOnlyThatBrowser()
{
    QFETCH(int, id);
    QFETCH(bool, popup);
    QFETCH(bool, sameObject);
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    const QList<CefRefPtr<FakeBrowser>> open{new FakeBrowser(1, false), new FakeBrowser(2, true),
                                             new FakeBrowser(3, true), new FakeBrowser(4, true)};
    CefRefPtr<FakeBrowser> closing = sameObject ? open.at(id - 1) : CefRefPtr<FakeBrowser>(new FakeBrowser(id, popup));
    QVERIFY(runOnUi([&] {
        for (const CefRefPtr<FakeBrowser> &browser : open)
            handler->OnAfterCreated(browser.get());
        handler->DoClose(closing.get());
        handler->OnBeforeClose(closing.get());
    }));
    closing = nullptr;

    for (const CefRefPtr<FakeBrowser> &browser : open)
        QCOMPARE(browser->HasOneRef(), browser->GetIdentifier() == id);
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(open.first().get()));
    QVERIFY(!handler->IsClosing());
}

void TestQCefClientHandler::loadErrorShowsPageInFailedFrame_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("failedUrl");
    QTest::addColumn<QByteArray>("page"); // null: nothing shown

    QTest::newRow("-105, non-ASCII address")
        << -105 << QStringLiteral("ERR_NAME_NOT_RESOLVED") << QStringLiteral("http://例子.测试/路径")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL http://例子.测试/路径 with error "
                      "ERR_NAME_NOT_RESOLVED (-105).</h2></body></html>");
    // Was: markup in a failed address ran as script under that address's origin.
    QTest::newRow("markup in the address and the error text")
        << -2 << QStringLiteral("<b>\"O'Neil\" & 错误</b>")
        << QStringLiteral("http://x.invalid/\"><script>alert('x')</script>&y=1")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL "
                      "http://x.invalid/&quot;&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;y=1 with error "
                      "&lt;b&gt;&quot;O&#39;Neil&quot; &amp; 错误&lt;/b&gt; (-2).</h2></body></html>");
    // A real frame ignores an empty address, so the page does not show.
    QTest::newRow("empty address")
        << -105 << QStringLiteral("ERR_NAME_NOT_RESOLVED") << QString()
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL  with error "
                      "ERR_NAME_NOT_RESOLVED (-105).</h2></body></html>");
    // Was: the password of a failed login was shown in large type.
    QTest::newRow("password in the query")
        << -102 << QStringLiteral("ERR_CONNECTION_REFUSED")
        << QStringLiteral("http://10.0.0.1/?user=%E5%BC%A0:pass=S3cr%23t%26x#top")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL "
                      "http://10.0.0.1/?user=%E5%BC%A0:pass=******#top with error "
                      "ERR_CONNECTION_REFUSED (-102).</h2></body></html>");
    QTest::newRow("empty password, \"pass=\" only in the path")
        << -102 << QStringLiteral("ERR_CONNECTION_REFUSED") << QStringLiteral("http://h/pass=1/?user=a:pass=")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL http://h/pass=1/?user=a:pass=****** "
                      "with error ERR_CONNECTION_REFUSED (-102).</h2></body></html>");
    QTest::newRow("-3, aborted") << -3 << QStringLiteral("ERR_ABORTED") << QStringLiteral("http://a.test/") << QByteArray();
}

void TestQCefClientHandler::loadErrorShowsPageInFailedFrame()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, failedUrl);
    QFETCH(QByteArray, page);
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    CefRefPtr<FakeBrowser> browser = new FakeBrowser(50, false);
    // A frame other than the main frame, as when a sub-frame fails.
    CefRefPtr<FakeFrame> failed = new FakeFrame();
    QVERIFY(runOnUi([&] { handler->OnLoadError(browser.get(), failed.get(), cef_errorcode_t(code), text, failedUrl); }));

    QCOMPARE(failed->loads.size(), page.isNull() ? 0 : 1);
    if (!page.isNull()) {
        QCOMPARE(failed->loads.first().first, page);
        // Shown under the address exactly as it failed, unescaped.
        QCOMPARE(failed->loads.first().second, failedUrl);
    }
}

void TestQCefClientHandler::recoveriesCappedPerBrowser()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    CefRefPtr<FakeBrowser> main = new FakeBrowser(1, false);
    CefRefPtr<FakeBrowser> popup = new FakeBrowser(2, true);
    const auto crash = [&](CefRefPtr<FakeBrowser> browser, int times) {
        return runOnUi([&] {
            for (int i = 0; i < times; ++i)
                handler->OnRenderProcessTerminated(browser.get(), TS_PROCESS_CRASHED);
        });
    };
    QVERIFY(runOnUi([&] {
        handler->OnAfterCreated(main.get());
        handler->OnAfterCreated(popup.get());
    }));
    // A page that keeps killing its renderer is reloaded three times, not in
    // a loop; a popup doing so leaves the main page's recoveries alone.
    QVERIFY(crash(popup, 5));
    QCOMPARE(popup->reloads, 3);
    QVERIFY(crash(main, 4));
    QCOMPARE(main->reloads, 3);
    // A browser opened anew starts with a fresh budget.
    QVERIFY(runOnUi([&] { handler->OnBeforeClose(popup.get()); }));
    QVERIFY(crash(popup, 1));
    QCOMPARE(popup->reloads, 4);
}

ENGINE_TEST_MAIN(TestQCefClientHandler)
#include "tst_qcefclienthandler.moc"
