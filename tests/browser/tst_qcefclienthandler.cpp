// The client handler against fake browsers and frames, its callbacks run on
// the engine's browser UI thread as the engine runs them.
#include <mutex>
#include <vector>

#include <QtTest>

#include "fakebrowser.h"
#include "qcefclienthandler.h"
#include "uithread.h"

namespace {

// Records the handler's reports.
class RecordingListener : public QCefClientHandler::Listener
{
public:
    struct Title
    {
        int browserId;
        QString text;
    };

    explicit RecordingListener(QCefClientHandler *handler = nullptr)
        : handler_(handler)
    {
    }

    int created() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return created_;
    }
    // The handler's browser as seen from inside each OnAfterCreated.
    std::vector<int> browserIdsWhenCreated() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return browserIdsWhenCreated_;
    }
    std::vector<Title> titles() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return titles_;
    }
    int otherCalls() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return other_;
    }

    void OnAddressChange(const QString &) override { countOther(); }
    void OnLoadingStateChange(bool) override { countOther(); }
    void OnNavStateChange(bool, bool) override { countOther(); }
    void PostEvent(QEvent *event) override
    {
        delete event;
        countOther();
    }
    void OnAfterCreated() override
    {
        const CefRefPtr<CefBrowser> current = handler_ ? handler_->GetBrowser() : nullptr;
        std::lock_guard<std::mutex> guard(lock_);
        ++created_;
        browserIdsWhenCreated_.push_back(current ? current->GetIdentifier() : 0);
    }
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        titles_.push_back({browser->GetIdentifier(), title.ToQString()});
    }

private:
    void countOther()
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++other_;
    }

    QCefClientHandler *handler_;
    mutable std::mutex lock_;
    int created_ = 0;
    std::vector<int> browserIdsWhenCreated_;
    std::vector<Title> titles_;
    int other_ = 0;
};

QList<QPair<int, QString>> asPairs(const std::vector<RecordingListener::Title> &titles)
{
    QList<QPair<int, QString>> pairs;
    for (const RecordingListener::Title &title : titles)
        pairs << qMakePair(title.browserId, title.text);
    return pairs;
}

// The engine calls these on the browser UI thread; so do the tests.
void afterCreated(const CefRefPtr<QCefClientHandler> &handler, CefRefPtr<CefBrowser> browser)
{
    QVERIFY(runOnUi([handler, browser] { handler->OnAfterCreated(browser); }));
}

void beforeClose(const CefRefPtr<QCefClientHandler> &handler, CefRefPtr<CefBrowser> browser)
{
    QVERIFY(runOnUi([handler, browser] { handler->OnBeforeClose(browser); }));
}

bool doClose(const CefRefPtr<QCefClientHandler> &handler, CefRefPtr<CefBrowser> browser)
{
    bool result = true;
    runOnUi([handler, browser, &result] { result = handler->DoClose(browser); });
    return result;
}

void titleChange(const CefRefPtr<QCefClientHandler> &handler, CefRefPtr<CefBrowser> browser, const QString &title)
{
    QVERIFY(runOnUi([handler, browser, title] { handler->OnTitleChange(browser, CefString(title)); }));
}

void loadError(const CefRefPtr<QCefClientHandler> &handler,
               CefRefPtr<CefBrowser> browser,
               CefRefPtr<CefFrame> frame,
               int code,
               const QString &text,
               const QString &failedUrl)
{
    QVERIFY(runOnUi([=] {
        handler->OnLoadError(browser, frame, static_cast<cef_errorcode_t>(code), CefString(text), CefString(failedUrl));
    }));
}

} // namespace

class TestQCefClientHandler : public QObject
{
    Q_OBJECT

private slots:
    void mainBrowserThenPopups();
    void popupCloseRemovesOnlyThatEntry_data();
    void popupCloseRemovesOnlyThatEntry();
    void closingTheMainBrowser();
    void beforeCloseOfUnknownBrowserChangesNothing_data();
    void beforeCloseOfUnknownBrowserChangesNothing();
    void titlesOfMainAndPopupsReported();
    void noListenerNoFault();
    void detachedListenerHearsNothing();
    void loadErrorShowsPageInFailedFrame_data();
    void loadErrorShowsPageInFailedFrame();
    void abortedLoadLeavesFrameAlone();
};

void TestQCefClientHandler::mainBrowserThenPopups()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener(handler.get());
    handler->SetListener(&listener);
    QVERIFY(!handler->GetBrowser());

    CefRefPtr<FakeBrowser> main = new FakeBrowser(7, false);
    afterCreated(handler, main.get());
    QCOMPARE(listener.created(), 1);
    // The listener already finds the browser while it is told of it.
    QCOMPARE(listener.browserIdsWhenCreated(), std::vector<int>{7});
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
    QVERIFY(!handler->IsClosing());
    QCOMPARE(main->refs(), 2);

    CefRefPtr<FakeBrowser> popupA = new FakeBrowser(8, true);
    CefRefPtr<FakeBrowser> popupB = new FakeBrowser(9, true);
    afterCreated(handler, popupA.get());
    afterCreated(handler, popupB.get());
    QCOMPARE(listener.created(), 1);
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
    QVERIFY(!handler->IsClosing());
    // Each popup is held by the handler while it is open.
    QCOMPARE(popupA->refs(), 2);
    QCOMPARE(popupB->refs(), 2);
    QCOMPARE(listener.otherCalls(), 0);
}

void TestQCefClientHandler::popupCloseRemovesOnlyThatEntry_data()
{
    QTest::addColumn<bool>("sameObject");
    QTest::newRow("the recorded object") << true;
    // The engine may hand over another object for the same browser.
    QTest::newRow("another object for the same browser") << false;
}

void TestQCefClientHandler::popupCloseRemovesOnlyThatEntry()
{
    QFETCH(bool, sameObject);
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener;
    handler->SetListener(&listener);
    CefRefPtr<FakeBrowser> main = new FakeBrowser(1, false);
    CefRefPtr<FakeBrowser> first = new FakeBrowser(2, true);
    CefRefPtr<FakeBrowser> middle = new FakeBrowser(3, true);
    CefRefPtr<FakeBrowser> last = new FakeBrowser(4, true);
    for (const CefRefPtr<FakeBrowser> &browser : {main, first, middle, last})
        afterCreated(handler, browser.get());

    CefRefPtr<FakeBrowser> closing = sameObject ? middle : CefRefPtr<FakeBrowser>(new FakeBrowser(3, true));
    QVERIFY(!doClose(handler, closing.get()));
    beforeClose(handler, closing.get());
    closing = nullptr;

    QCOMPARE(middle->refs(), 1);
    QCOMPARE(first->refs(), 2);
    QCOMPARE(last->refs(), 2);
    QCOMPARE(main->refs(), 2);
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
    QVERIFY(!handler->IsClosing());
    QCOMPARE(listener.created(), 1);

    // Closing it again finds nothing more to remove.
    beforeClose(handler, middle.get());
    QCOMPARE(first->refs(), 2);
    QCOMPARE(last->refs(), 2);
}

void TestQCefClientHandler::closingTheMainBrowser()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener(handler.get());
    handler->SetListener(&listener);
    CefRefPtr<FakeBrowser> main = new FakeBrowser(5, false);
    CefRefPtr<FakeBrowser> popup = new FakeBrowser(6, true);
    afterCreated(handler, main.get());
    afterCreated(handler, popup.get());

    // The handler never vetoes a close; it only notes it.
    QVERIFY(!doClose(handler, main.get()));
    QVERIFY(handler->IsClosing());
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));

    beforeClose(handler, main.get());
    QVERIFY(!handler->GetBrowser());
    QVERIFY(handler->IsClosing());
    QCOMPARE(main->refs(), 1);
    QCOMPARE(popup->refs(), 2);
    QCOMPARE(listener.created(), 1);
    QCOMPARE(listener.otherCalls(), 0);

    // A browser created while none is held becomes the main browser in turn.
    CefRefPtr<FakeBrowser> next = new FakeBrowser(10, true);
    afterCreated(handler, next.get());
    QCOMPARE(listener.created(), 2);
    QCOMPARE(listener.browserIdsWhenCreated(), (std::vector<int>{5, 10}));
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(next.get()));
    QVERIFY(handler->IsClosing());
}

void TestQCefClientHandler::beforeCloseOfUnknownBrowserChangesNothing_data()
{
    QTest::addColumn<bool>("popup");
    QTest::newRow("unknown popup") << true;
    QTest::newRow("unknown browser") << false;
}

void TestQCefClientHandler::beforeCloseOfUnknownBrowserChangesNothing()
{
    QFETCH(bool, popup);
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener;
    handler->SetListener(&listener);
    CefRefPtr<FakeBrowser> main = new FakeBrowser(11, false);
    CefRefPtr<FakeBrowser> known = new FakeBrowser(12, true);
    afterCreated(handler, main.get());
    afterCreated(handler, known.get());

    CefRefPtr<FakeBrowser> stranger = new FakeBrowser(99, popup);
    QVERIFY(!doClose(handler, stranger.get()));
    beforeClose(handler, stranger.get());

    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
    QVERIFY(!handler->IsClosing());
    QCOMPARE(main->refs(), 2);
    QCOMPARE(known->refs(), 2);
    QCOMPARE(stranger->refs(), 1);
    QCOMPARE(listener.created(), 1);
}

void TestQCefClientHandler::titlesOfMainAndPopupsReported()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener;
    handler->SetListener(&listener);
    CefRefPtr<FakeBrowser> main = new FakeBrowser(20, false);
    CefRefPtr<FakeBrowser> popup = new FakeBrowser(21, true);
    afterCreated(handler, main.get());
    afterCreated(handler, popup.get());

    titleChange(handler, main.get(), QStringLiteral("Platform"));
    titleChange(handler, popup.get(), QStringLiteral("弹出窗口"));
    titleChange(handler, main.get(), QString());

    const QList<QPair<int, QString>> expected{{20, QStringLiteral("Platform")},
                                              {21, QStringLiteral("弹出窗口")},
                                              {20, QString()}};
    QCOMPARE(asPairs(listener.titles()), expected);
}

void TestQCefClientHandler::noListenerNoFault()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    CefRefPtr<FakeBrowser> main = new FakeBrowser(30, false);
    CefRefPtr<FakeBrowser> popup = new FakeBrowser(31, true);
    afterCreated(handler, main.get());
    afterCreated(handler, popup.get());
    titleChange(handler, main.get(), QStringLiteral("t"));
    titleChange(handler, popup.get(), QStringLiteral("p"));
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));

    // Everything but the reports still happens.
    CefRefPtr<FakeFrame> frame = new FakeFrame();
    loadError(handler, main.get(), frame.get(), -102, QStringLiteral("ERR_CONNECTION_REFUSED"), QStringLiteral("http://a.test/"));
    QCOMPARE(frame->stringLoads().size(), size_t(1));
    beforeClose(handler, popup.get());
    QCOMPARE(popup->refs(), 1);
    QVERIFY(!doClose(handler, main.get()));
    QVERIFY(handler->IsClosing());
    beforeClose(handler, main.get());
    QVERIFY(!handler->GetBrowser());
    QCOMPARE(main->refs(), 1);
}

void TestQCefClientHandler::detachedListenerHearsNothing()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener;
    handler->SetListener(&listener);
    CefRefPtr<FakeBrowser> main = new FakeBrowser(40, false);
    titleChange(handler, main.get(), QStringLiteral("before"));
    handler->SetListener(nullptr);
    afterCreated(handler, main.get());
    titleChange(handler, main.get(), QStringLiteral("after"));
    QCOMPARE(listener.created(), 0);
    QCOMPARE(asPairs(listener.titles()), (QList<QPair<int, QString>>{{40, QStringLiteral("before")}}));
    QCOMPARE(handler->GetBrowser().get(), static_cast<CefBrowser *>(main.get()));
}

void TestQCefClientHandler::loadErrorShowsPageInFailedFrame_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("failedUrl");
    QTest::addColumn<QByteArray>("page");

    QTest::newRow("-105, non-ASCII address")
        << -105 << QStringLiteral("ERR_NAME_NOT_RESOLVED") << QStringLiteral("http://例子.测试/路径")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL http://例子.测试/路径 with error "
                      "ERR_NAME_NOT_RESOLVED (-105).</h2></body></html>");
    QTest::newRow("-102, plain address")
        << -102 << QStringLiteral("ERR_CONNECTION_REFUSED") << QStringLiteral("http://127.0.0.1:9/x?a=1")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL http://127.0.0.1:9/x?a=1 with error "
                      "ERR_CONNECTION_REFUSED (-102).</h2></body></html>");
    // Was: markup in a failed address ran as script under that address's origin.
    QTest::newRow("markup in the address")
        << -105 << QStringLiteral("ERR_NAME_NOT_RESOLVED")
        << QStringLiteral("http://x.invalid/\"><script>alert('x')</script>&y=1")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL "
                      "http://x.invalid/&quot;&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;y=1"
                      " with error ERR_NAME_NOT_RESOLVED (-105).</h2></body></html>");
    QTest::newRow("markup in the error text")
        << -2 << QStringLiteral("<b>\"O'Neil\" & 错误</b>") << QStringLiteral("http://a.test/")
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL http://a.test/ with error "
                      "&lt;b&gt;&quot;O&#39;Neil&quot; &amp; 错误&lt;/b&gt; (-2).</h2></body></html>");
    // A real frame ignores an empty address, so the page does not show.
    QTest::newRow("empty address")
        << -105 << QStringLiteral("ERR_NAME_NOT_RESOLVED") << QString()
        << QByteArray("<html><body bgcolor=\"white\"><h2>Failed to load URL  with error "
                      "ERR_NAME_NOT_RESOLVED (-105).</h2></body></html>");
}

void TestQCefClientHandler::loadErrorShowsPageInFailedFrame()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, failedUrl);
    QFETCH(QByteArray, page);

    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    RecordingListener listener;
    handler->SetListener(&listener);
    CefRefPtr<FakeBrowser> browser = new FakeBrowser(50, false);
    afterCreated(handler, browser.get());
    // A frame other than the main frame, as when a sub-frame fails.
    CefRefPtr<FakeFrame> failed = new FakeFrame();

    loadError(handler, browser.get(), failed.get(), code, text, failedUrl);

    const std::vector<FakeFrame::StringLoad> loads = failed->stringLoads();
    QCOMPARE(loads.size(), size_t(1));
    QCOMPARE(QByteArray::fromStdString(loads.front().content), page);
    // The page is shown under the address exactly as it failed, unescaped.
    QCOMPARE(QString::fromStdU16String(loads.front().url), failedUrl);
    QVERIFY(failed->urlLoads().empty());
    QVERIFY(browser->mainFrame()->stringLoads().empty());
    QVERIFY(browser->mainFrame()->urlLoads().empty());
    QCOMPARE(QByteArray::fromStdString(QCefClientHandler::errorPage(CefString(failedUrl), CefString(text), code)), page);
    QCOMPARE(listener.otherCalls(), 0);
}

void TestQCefClientHandler::abortedLoadLeavesFrameAlone()
{
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    CefRefPtr<FakeBrowser> browser = new FakeBrowser(60, false);
    afterCreated(handler, browser.get());
    CefRefPtr<FakeFrame> frame = new FakeFrame();
    loadError(handler, browser.get(), frame.get(), -3, QStringLiteral("ERR_ABORTED"), QStringLiteral("http://a.test/slow"));
    QVERIFY(frame->stringLoads().empty());
    QVERIFY(frame->urlLoads().empty());
}

UI_THREAD_TEST_MAIN(TestQCefClientHandler)
#include "tst_qcefclienthandler.moc"
