// The web view against the real engine, under an X server, with the loopback
// platform server.
#include <QPointer>
#include <QUrlQuery>
#include <QtTest>

#include "libcef/engine/browser_host_impl.h"
#include "libcef/engine/browser_info_manager.h"
#include "libcef/runtime/context.h"
#include "platformserver.h"
#include "qcefwebview.h"
#include "uithread.h"
#include "x11util.h"

namespace {

const int CreationTimeout = 20000;

// The browser's window: the view's child, when it has exactly one.
QWidget *browserWindow(QWidget *view)
{
    const QList<QWidget *> children = view->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    return children.size() == 1 ? children.first() : nullptr;
}

// The view keeps its browser to itself: this finds it in the engine's
// registry by its window (asking for the next identifier uses one up, which
// does no harm), and returns its client.
CefRefPtr<QCefClientHandler> handlerOf(QWidget *view)
{
    QWidget *window = browserWindow(view);
    for (int id = cef::NextBrowserId() - 1; window && id > 0; --id) {
        const CefRefPtr<CefBrowserHostImpl> browser = cef::BrowserInfoManager::GetInstance()->GetBrowser(id);
        if (browser && browser->GetHost()->GetWindowHandle() == window->winId())
            return static_cast<QCefClientHandler *>(browser->GetHost()->GetClient().get());
    }
    return nullptr;
}

QRect onScreen(QWidget *widget)
{
    return widget ? x11::screenGeometry(widget->winId()) : QRect();
}

} // namespace

class TestQCefWebView : public QObject
{
    Q_OBJECT

signals:
    // The view's signals, relayed through Qt's automatic connection as any
    // receiver in the GUI thread gets them: queued, since each must be
    // emitted on the browser UI thread.
    void titleSeen(const QString &title);
    void urlSeen(const QUrl &url);
    void loadStartSeen();

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refusedAndRepeatedCreations();
    void fittedOnCreationShowAndResizeOnly();
    void loadInEachState_data();
    void loadInEachState();
    void navigationSlots();
    void closePassedOnOnlyWhileClosing();
    void reportsBecomeSignals_data();
    void reportsBecomeSignals();
    void deletedViewReceivesNothing();

private:
    QUrl titlePage(const QString &title) const { return QUrl(server.baseUrl() + QStringLiteral("/title?t=") + title); }
    int requestsForTitle(const QString &title) const
    {
        int count = 0;
        for (const PlatformServer::Request &request : server.requests()) {
            const QUrlQuery query(QString::fromLatin1(request.query));
            count += request.path == "/title" && query.queryItemValue(QStringLiteral("t"), QUrl::FullyDecoded) == title;
        }
        return count;
    }
    // Lets the creation timer run with an empty size, so that it asks for nothing.
    bool settleTimer()
    {
        view->resize(0, 0);
        view->move(7, 7);
        // The timer moves the view to the corner.
        return QTest::qWaitFor([this] { return view->pos() == QPoint(0, 0); }, 5000)
            && view->browserState() == QCefWebView::NoBrowser;
    }
    bool waitCreated()
    {
        return QTest::qWaitFor([this] { return view->browserState() == QCefWebView::Created; }, CreationTimeout);
    }

    // In the GUI thread, which keeps its event loop running while a test
    // waits, so that the server and the test share no data across threads.
    PlatformServer server;
    QSignalSpy titles{this, &TestQCefWebView::titleSeen};
    // Signals not emitted on the browser UI thread.
    std::atomic<int> wrongThread{0};
    // A new one for each test.
    QPointer<QCefWebView> view;
};

void TestQCefWebView::initTestCase()
{
    QVERIFY2(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0), qPrintable(server.errorString()));
}

void TestQCefWebView::init()
{
    view = new QCefWebView();
    const auto checkEmitter = [this] { wrongThread += CefCurrentlyOn(TID_UI) ? 0 : 1; };
    connect(view, &QCefWebView::titleChanged, this, &TestQCefWebView::titleSeen);
    connect(view, &QCefWebView::titleChanged, this, checkEmitter, Qt::DirectConnection);
    connect(view, &QCefWebView::urlChanged, this, &TestQCefWebView::urlSeen);
    connect(view, &QCefWebView::urlChanged, this, checkEmitter, Qt::DirectConnection);
    connect(view, &QCefWebView::loadStarted, this, &TestQCefWebView::loadStartSeen);
    connect(view, &QCefWebView::loadStarted, this, checkEmitter, Qt::DirectConnection);
    titles.clear();
}

void TestQCefWebView::cleanup()
{
    delete view.data();
    // No report reaches a deleted view, so what it sent is all queued by now.
    QCoreApplication::sendPostedEvents(this);
    QCOMPARE(wrongThread.exchange(0), 0);
}

void TestQCefWebView::refusedAndRepeatedCreations()
{
    for (const QSize &size : {QSize(0, 300), QSize(300, 0), QSize()})
        QVERIFY2(!view->createBrowser(size), qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    QCOMPARE(view->browserState(), QCefWebView::NoBrowser);

    view->move(30, 40);
    QVERIFY(view->createBrowser(QSize(300, 200)));
    QCOMPARE(view->browserState(), QCefWebView::Creating);
    QVERIFY(!view->createBrowser(QSize(300, 200)));
    // The timer has run when it has moved the view to the corner.
    QTRY_COMPARE(view->pos(), QPoint(0, 0));
    QVERIFY(waitCreated());
    // Bounded wait: a second request would show as a second browser window.
    QTest::qWait(300);
    QVERIFY(browserWindow(view));
}

void TestQCefWebView::loadInEachState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("emptied");
    // Stored and used as the start address.
    QTest::newRow("no browser") << int(QCefWebView::NoBrowser) << false;
    // Was: a URL given while the browser was being created was never loaded.
    QTest::newRow("creating") << int(QCefWebView::Creating) << false;
    QTest::newRow("created") << int(QCefWebView::Created) << false;
    // An empty URL loads nothing and replaces the one waiting for the browser.
    QTest::newRow("no browser, then empty") << int(QCefWebView::NoBrowser) << true;
    QTest::newRow("creating, then empty") << int(QCefWebView::Creating) << true;
    QTest::newRow("created, then empty") << int(QCefWebView::Created) << true;
}

void TestQCefWebView::loadInEachState()
{
    QFETCH(int, state);
    QFETCH(bool, emptied);
    // Not ASCII, and new to the server in each row.
    const QString title = QStringLiteral("页 ") + QString::fromLatin1(QTest::currentDataTag());
    if (state != QCefWebView::NoBrowser)
        QVERIFY(view->createBrowser(QSize(320, 240)));
    if (state == QCefWebView::Created) {
        const int requestsBefore = server.requests().size();
        QVERIFY(waitCreated());
        // Was: the hidden browser fetched its start address before the login.
        QTest::qWait(200);
        QCOMPARE(server.requests().size(), requestsBefore);
    }
    QCOMPARE(int(view->browserState()), state);

    QCOMPARE(view->load(titlePage(title)), state == QCefWebView::Created);
    if (emptied)
        QVERIFY(!view->load(QUrl()));
    QVERIFY(waitCreated());
    // Only what the browser had already been given stays loaded.
    const bool loaded = !emptied || state == QCefWebView::Created;
    if (loaded)
        QTRY_VERIFY_WITH_TIMEOUT(titles.contains({title}), CreationTimeout);
    // Bounded wait: a second or a replaced load would show as a request.
    QTest::qWait(300);
    QCOMPARE(requestsForTitle(title), loaded ? 1 : 0);
    QCOMPARE(titles.contains({title}), loaded);
}

void TestQCefWebView::navigationSlots()
{
    const auto allSlots = [this] {
        for (void (QCefWebView::*slot)() : {&QCefWebView::back, &QCefWebView::forward, &QCefWebView::reload, &QCefWebView::stop})
            (view->*slot)();
    };
    // Without a browser, and with one asked for but not there yet: nothing.
    QVERIFY(settleTimer());
    allSlots();
    QCOMPARE(view->browserState(), QCefWebView::NoBrowser);
    QVERIFY(view->createBrowser(QSize(320, 240)));
    allSlots();

    const QString pageA = QStringLiteral("Nav A"), pageB = QStringLiteral("Nav B");
    QVERIFY(!view->load(titlePage(pageA)));
    QTRY_VERIFY_WITH_TIMEOUT(titles.contains({pageA}), CreationTimeout);
    QVERIFY(view->load(titlePage(pageB)));
    QTRY_VERIFY(titles.contains({pageB}));
    const CefRefPtr<QCefClientHandler> handler = handlerOf(view);
    QVERIFY(handler);
    const CefRefPtr<CefBrowser> browser = handler->GetBrowser();
    QTRY_VERIFY(browser->CanGoBack());
    titles.clear();
    view->back();
    QTRY_VERIFY(titles.contains({pageA}));
    view->forward();
    QTRY_VERIFY(titles.contains({pageB}));

    // The server keeps "/slow" waiting; only a stop ends the load sooner.
    QTRY_VERIFY(!browser->IsLoading());
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(view->load(QUrl(server.baseUrl() + QStringLiteral("/slow"))));
    QTRY_VERIFY(browser->IsLoading());
    view->stop();
    QTRY_VERIFY(!browser->IsLoading());
    QVERIFY(elapsed.elapsed() < PlatformServer::SlowDelayMs);
    // Still on the last page, which loads again.
    const int requestsBefore = requestsForTitle(pageB);
    view->reload();
    QTRY_COMPARE(requestsForTitle(pageB), requestsBefore + 1);
}

void TestQCefWebView::closePassedOnOnlyWhileClosing()
{
    QVERIFY(waitCreated());
    const CefRefPtr<QCefClientHandler> handler = handlerOf(view);
    QVERIFY(handler);
    const CefRefPtr<CefBrowser> browser = handler->GetBrowser();
    // Kept alive after a close, to see what the close did to the browser.
    view->setAttribute(Qt::WA_DeleteOnClose, false);

    QVERIFY(!handler->IsClosing());
    QVERIFY(view->close());
    // Bounded wait: a close request would take the browser away.
    QTest::qWait(300);
    QCOMPARE(handler->GetBrowser().get(), browser.get());

    // The engine tells the handler that the browser is asked to close,
    // without closing it itself.
    QVERIFY(runOnUi([handler, browser] { handler->DoClose(browser); }));
    QVERIFY(view->close());
    QTRY_VERIFY(!handler->GetBrowser());
}

void TestQCefWebView::fittedOnCreationShowAndResizeOnly()
{
    QVERIFY(settleTimer());
    view->resize(400, 300);
    // The resize held back while hidden asks for the browser at 400x300.
    view->show();
    QCOMPARE(view->browserState(), QCefWebView::Creating);
    view->resize(520, 380);
    QVERIFY(waitCreated());
    QWidget *window = browserWindow(view);
    QVERIFY(window);
    // At the view's place: it went to the corner.
    QTRY_COMPARE(onScreen(window), QRect(0, 0, 520, 380));

    // Put the browser window out of fit, to see what fits it again.
    window->setGeometry(0, 0, 100, 80);
    view->move(120, 90);
    QTRY_COMPARE(onScreen(view).topLeft(), QPoint(120, 90));
    view->hide();
    QTest::qWait(100);
    QCOMPARE(view->pos(), QPoint(120, 90));
    QCOMPARE(window->geometry(), QRect(0, 0, 100, 80));

    // Back to the corner, fitted.
    view->show();
    QTRY_COMPARE(onScreen(window), QRect(0, 0, 520, 380));
    view->resize(600, 450);
    QTRY_COMPARE(onScreen(window), QRect(0, 0, 600, 450));

    // Regression: a maximized window's page filled only its top left corner.
    // A resize event that names a size the view has already left fits the
    // browser to the view's size all the same.
    QResizeEvent late(QSize(100, 80), QSize(640, 480));
    QCoreApplication::sendEvent(view, &late);
    QCOMPARE(window->geometry(), QRect(0, 0, 600, 450));
}

void TestQCefWebView::reportsBecomeSignals_data()
{
    // Set-up: a browser being created or none, and the URLs loaded.
    QTest::addColumn<bool>("creating");
    QTest::addColumn<QList<QUrl>>("loads");
    // Reports: loading states, then |text| as the title and as the address.
    QTest::addColumn<QList<bool>>("loading");
    QTest::addColumn<QString>("text");
    // Signals: load starts, and the address as tolerantly parsed (empty when
    // not valid).
    QTest::addColumn<int>("loadStarts");
    QTest::addColumn<QByteArray>("encoded");
    const QList<QUrl> load{titlePage(QStringLiteral("Load start"))};
    QTest::newRow("URL given: each start counts, no stop; stray percent sign")
        << false << load << QList<bool>{false, true, false, true} << QStringLiteral("http://example.com/100%") << 2
        << QByteArray("http://example.com/100%25");
    QTest::newRow("no URL: no start") << false << QList<QUrl>{} << QList<bool>{true}
                                      << QStringLiteral("http://a.test/") << 0 << QByteArray("http://a.test/");
    // Reported all the same, as whatever the parser makes of it.
    QTest::newRow("URL emptied again: no start; not a URL")
        << false << (load + QList<QUrl>{QUrl()}) << QList<bool>{true} << QStringLiteral("http://[::1") << 0
        << QByteArray();
    // A stop does not use up the swallowing.
    QTest::newRow("load while creating: first start swallowed; empty")
        << true << load << QList<bool>{false, true, true} << QString() << 1 << QByteArray();
}

void TestQCefWebView::reportsBecomeSignals()
{
    QFETCH(bool, creating);
    QFETCH(QList<QUrl>, loads);
    QFETCH(QList<bool>, loading);
    QFETCH(QString, text);
    QFETCH(int, loadStarts);
    QFETCH(QByteArray, encoded);
    QSignalSpy urls(this, &TestQCefWebView::urlSeen);
    QSignalSpy started(this, &TestQCefWebView::loadStartSeen);
    QVERIFY(creating ? view->createBrowser(QSize(200, 100)) : settleTimer());
    for (const QUrl &url : loads)
        QVERIFY(!view->load(url));

    // As the client handler makes them. The address comes last through the
    // same queue, so every other signal has arrived by the time it has.
    QCefClientHandler::Listener *listener = view.data();
    QVERIFY(runOnUi([listener, loading, text] {
        for (const bool isLoading : loading)
            listener->OnLoadingStateChange(isLoading);
        listener->OnTitleChange(nullptr, text);
        listener->OnAddressChange(text);
    }));
    QTRY_COMPARE(urls.count(), 1);
    QCOMPARE(started.count(), loadStarts);
    QCOMPARE(titles.first().first().toString(), text);
    QCOMPARE(urls.first().first().toUrl().toEncoded(), encoded);
    // The window keeps its own title.
    QCOMPARE(view->windowTitle(), QStringLiteral("视频综合管理平台"));
}

void TestQCefWebView::deletedViewReceivesNothing()
{
    // Was: the handler kept reporting to a view that had been deleted.
    // A page that changes its title every millisecond; shown, since the
    // engine slows down the timers of hidden pages.
    view->load(QUrl(QStringLiteral("data:text/html,<title>t0</title><script>var n=0;"
                                   "setInterval(function(){document.title='t'+(++n)},1)</script>")));
    view->resize(300, 200);
    view->show();
    QTRY_VERIFY_WITH_TIMEOUT(titles.count() > 20, CreationTimeout);
    const CefRefPtr<QCefClientHandler> handler = handlerOf(view);
    QVERIFY(handler);

    // Reports straight into the handler as well, from a thread of its own.
    const CefRefPtr<CefBrowser> browser = handler->GetBrowser();
    CallbackStream stream([handler, browser](unsigned) { handler->OnTitleChange(browser, "posted"); });
    QTRY_VERIFY(stream.executed() > 50);

    // A report reaching the deleted view would call into freed memory: the
    // program aborts, or the thread sanitizer reports it.
    delete view.data();
    const int executedAtDelete = stream.executed();
    QTRY_VERIFY(stream.executed() > executedAtDelete + 200);
    stream.finish();
    // The browser went with its parent window.
    QTRY_VERIFY(!handler->GetBrowser());
}

// Under ThreadSanitizer (unused otherwise): the engine, Mesa and Xlib run
// threads of their own in this process, built without the sanitizer, whose
// locking is only half visible to it. Calls into the sanitizer's interceptors
// from such libraries go unchecked; every access by this program's own code
// still is. TSAN_OPTIONS given at run time come on top.
extern "C" const char *__tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

ENGINE_TEST_MAIN(TestQCefWebView)
#include "tst_qcefwebview.moc"
