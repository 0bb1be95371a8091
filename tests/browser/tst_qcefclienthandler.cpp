// The client handler against fake browsers and frames, its callbacks run on
// the engine's browser UI thread as the engine runs them (runOnUi), and its
// main browser shared between that thread and the GUI thread. Meant to run
// under ThreadSanitizer as well: the threads involved are plain std::threads,
// so the sanitizer sees every access. (The listener's detach while reports
// run is tested with the real view, in tst_qcefwebview.)
#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>

#include "downloadfiles.h"
#include "downloadlimiter.h"
#include "fakebrowser.h"
#include "qcefclienthandler.h"
#include "reconnector.h"
#include "uithread.h"

namespace {

// Records the reports the handler makes, as lines of text. Read once the
// calls into the handler have returned.
class RecordingListener : public QCefClientHandler::Listener
{
public:
    explicit RecordingListener(QCefClientHandler *handler) : handler(handler) { handler->SetListener(this); }
    ~RecordingListener() override { handler->SetListener(nullptr); }

    QStringList reports;

    // The handler makes no other reports.
    void OnAddressChange(const QString &) override {}
    void OnLoadingStateChange(bool) override {}
    void OnNavStateChange(bool, bool) override {}
    void PostEvent(QEvent *event) override { delete event; }
    // With the handler's browser as the listener finds it while told.
    void OnAfterCreated() override
    {
        const CefRefPtr<CefBrowser> browser = handler->GetBrowser();
        reports << QStringLiteral("created %1").arg(browser ? browser->GetIdentifier() : 0);
    }
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override
    {
        reports << QStringLiteral("title %1 %2").arg(browser->GetIdentifier()).arg(title.ToQString());
    }

private:
    QCefClientHandler *const handler;
};

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

using Clock = std::chrono::steady_clock;

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
    void getBrowserWhileMainBrowserComesAndGoes();
    void recoveriesCappedPerBrowser();
    void reconnectsOnlyWhileItCanHelp_data();
    void reconnectsOnlyWhileItCanHelp();
    void downloadSavedUnderFreeName_data();
    void downloadSavedUnderFreeName();
    void concurrentDownloadsNeverOverwrite();
    void failedPublishKeepsCompleteDownload();
    void crashLeftoversSweptOnlyOwnAndDead();
    void repeatedDownloadsAsked_data();
    void repeatedDownloadsAsked();
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
                      "http://x.invalid/&quot;&gt;&lt;script&gt;alert('x')&lt;/script&gt;&amp;y=1 with error "
                      "&lt;b&gt;&quot;O'Neil&quot; &amp; 错误&lt;/b&gt; (-2).</h2></body></html>");
    QTest::newRow("empty address") << -105 << QStringLiteral("ERR_NAME_NOT_RESOLVED") << QString() << QByteArray();
    // Was: the whole address went into the page, too large to be shown, and
    // each failure of the error page brought another: a loop at full CPU.
    const QString longUrl = QStringLiteral("http://a.test/?") + QString(300000, QChar(0x89c6));
    QTest::newRow("longFailingUrlLoops: address cut")
        << -102 << QStringLiteral("ERR_CONNECTION_REFUSED") << longUrl
        << "<html><body bgcolor=\"white\"><h2>Failed to load URL " + longUrl.left(15 + 677).toUtf8()
               + "\u2026 with error ERR_CONNECTION_REFUSED (-102).</h2></body></html>";
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
        // The error page failing before it started brings no other.
        QVERIFY(runOnUi([&] { handler->OnLoadError(browser.get(), failed.get(), ERR_INVALID_URL, text, failedUrl); }));
        QCOMPARE(failed->loads.size(), 1);
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

void TestQCefClientHandler::reconnectsOnlyWhileItCanHelp_data()
{
    // Load events as the engine reports them ("post" or "get" requests,
    // "start", "error <code>" of the platform or "elsewhere", "end <status>",
    // the handler's "own" loads, an own load that "failed" unstarted, "stop"), and "fire", which
    // runs the retries waiting by then; what the reconnector does in answer.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("done");
    QTest::newRow("platform down: waits double up to 30 s")
        << "start; error -102; fire; start; error -102; fire; start; error -105; fire; start; error -118; fire;"
           " start; error -101; fire; start; error -324"
        << "wait 2000; load; wait 4000; load; wait 8000; load; wait 16000; load; wait 30000; load; wait 30000";
    QTest::newRow("platform back: no more retries, the next outage starts short")
        << "start; error -102; fire; start; end 200; fire; start; error -102"
        << "wait 2000; load; wait 2000";
    QTest::newRow("the error page and crash recovery are no new navigation")
        << "start; error -102; own; start; end 200; own; start; end 200; fire"
        << "wait 2000; load";
    QTest::newRow("a new navigation ends the retries") << "start; error -102; start; fire" << "wait 2000";
    QTest::newRow("aborted") << "start; error -3; fire" << "";
    QTest::newRow("not about the connection") << "start; error -2; start; error -320; fire" << "";
    QTest::newRow("a certificate refused") << "start; error -202; fire" << "";
    QTest::newRow("a retry that fails otherwise ends them") << "start; error -102; fire; start; error -320; fire"
                                                            << "wait 2000; load";
    QTest::newRow("browser closed") << "start; error -102; stop; fire; start; error -102; fire" << "wait 2000";
    // Was: any address was retried, and a failed form post sent again as a GET.
    QTest::newRow("reconnectRetriesAnyUrl: another origin") << "start; error -102 elsewhere; fire" << "";
    QTest::newRow("reconnectRetriesAnyUrl: a posted form")
        << "post; start; error -102; fire; get; start; error -102; fire" << "wait 2000; load";
    // Was: an error page that failed unstarted left its own load behind,
    // which took the next navigation for its own and kept retrying.
    QTest::newRow("longFailingUrlLoops: stale own load")
        << "start; error -102; own; failed; start; fire" << "wait 2000";
}

void TestQCefClientHandler::reconnectsOnlyWhileItCanHelp()
{
    QFETCH(QString, steps);
    QFETCH(QString, done);
    const std::string address = "http://10.0.0.1/?user=a:pass=b";
    QStringList log;
    std::vector<std::function<void()>> waiting;
    Reconnector reconnector(
        [&](int delayMs, std::function<void()> task) {
            log << QStringLiteral("wait %1").arg(delayMs);
            waiting.push_back(std::move(task));
        },
        [&](const std::string &url) { log << (url == address ? QStringLiteral("load") : QStringLiteral("load elsewhere")); },
        [&](const std::string &url) { return url == address; });
    for (const QString &step : steps.split(QStringLiteral("; "))) {
        const QStringList words = step.split(QLatin1Char(' '));
        if (words.first() == QLatin1String("post") || words.first() == QLatin1String("get"))
            reconnector.onRequest(words.first().toUpper().toStdString());
        else if (words.first() == QLatin1String("start"))
            reconnector.onLoadStart();
        else if (words.first() == QLatin1String("failed"))
            reconnector.ownLoadFailed();
        else if (words.first() == QLatin1String("own"))
            reconnector.expectOwnLoad();
        else if (words.first() == QLatin1String("error"))
            reconnector.onLoadError(words.at(1).toInt(), words.size() > 2 ? "http://10.0.0.2/" : address);
        else if (words.first() == QLatin1String("end"))
            reconnector.onLoadEnd(words.at(1).toInt());
        else if (words.first() == QLatin1String("stop"))
            reconnector.stop();
        else if (words.first() == QLatin1String("fire"))
            for (const auto &task : std::exchange(waiting, {}))
                task();
    }
    QCOMPARE(log.join(QStringLiteral("; ")), done);
}

void TestQCefClientHandler::downloadSavedUnderFreeName_data()
{
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("saved");
    QTest::newRow("free") << "clip 1.bin" << QStringList() << "clip 1.bin";
    QTest::newRow("taken twice") << "clip 1.bin" << QStringList{"clip 1.bin", "clip 1 (1).bin"} << "clip 1 (2).bin";
    QTest::newRow("taken, no extension") << "clip" << QStringList{"clip"} << "clip (1)";
    // A name from the server never leads out of the download directory.
    QTest::newRow("directories") << "../../etc/passwd" << QStringList() << "passwd";
    QTest::newRow("backslashes") << "..\\..\\boot.ini" << QStringList() << "boot.ini";
    QTest::newRow("dots only") << "..." << QStringList() << "download";
    QTest::newRow("control characters") << "a\nb\x01.txt" << QStringList() << "a_b_.txt";
    // Was: kept, a shell start-up file when the download directory is home.
    QTest::newRow("leading dot") << ".bash_profile" << QStringList() << "bash_profile";
    QTest::newRow("dots and blanks around") << " . .xsessionrc. " << QStringList() << "xsessionrc";
    // Was: kept, "report\u202Efdp.sh" read as "reportsh.pdf".
    QTest::newRow("bidi override") << QString::fromUtf8("report\u202Efdp.sh") << QStringList() << "report_fdp.sh";
    QTest::newRow("zero width, line separators")
        << QString::fromUtf8("a\u200Bb\u2028c\u2029.") << QStringList() << "a_b_c_";
    QTest::newRow("format character beyond the BMP") << QString::fromUcs4(U"a\U000E0041.txt") << QStringList() << "a_.txt";
    QTest::newRow("too long, by whole characters")
        << QString(300, QChar(0x89c6)) + ".mp4" << QStringList() << QString(65, QChar(0x89c6)) + ".mp4";
}

void TestQCefClientHandler::downloadSavedUnderFreeName()
{
    QFETCH(QString, suggested);
    QFETCH(QStringList, existing);
    QFETCH(QString, saved);
    QTemporaryDir dir;
    for (const QString &name : existing) {
        QFile file(QDir(dir.path()).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    }
    const QString name = downloadFileName(suggested);
    const QString temporary = reserveDownload(dir.path(), name);
    QFile file(temporary);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("new") == 3);
    file.close();

    QCOMPARE(publishDownload(temporary, dir.path(), name), QDir(dir.path()).filePath(saved));
    QStringList expected = existing << saved;
    expected.sort();
    // Nothing but the files: the download's hidden directory is gone.
    QCOMPARE(entries(dir.path()), expected);
    for (const QString &name : expected) {
        QFile read(QDir(dir.path()).filePath(name));
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), QByteArray(name == saved ? "new" : "old"));
    }
}

// Was: a name free when looked at could be taken before the rename, which
// then overwrote the other download.
void TestQCefClientHandler::concurrentDownloadsNeverOverwrite()
{
    QTemporaryDir dir;
    const auto download = [&dir](int thread) {
        for (int i = 0; i < 100; ++i) {
            const QString temporary = reserveDownload(dir.path(), QStringLiteral("clip.bin"));
            QFile file(temporary);
            if (file.open(QIODevice::WriteOnly))
                file.write(QByteArray::number(thread * 1000 + i));
            file.close();
            publishDownload(temporary, dir.path(), QStringLiteral("clip.bin"));
        }
    };
    std::thread other(download, 1);
    download(2);
    other.join();

    QSet<QByteArray> contents;
    for (const QString &name : entries(dir.path())) {
        QFile file(QDir(dir.path()).filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        contents << file.readAll();
    }
    QCOMPARE(entries(dir.path()).size(), 200);
    QCOMPARE(contents.size(), 200);
}

// Was: a rename the file system refused (here: across file systems) threw
// the complete download away.
void TestQCefClientHandler::failedPublishKeepsCompleteDownload()
{
    QTemporaryDir running(QStringLiteral("/dev/shm/tst-XXXXXX"));
    QTemporaryDir target;
    struct stat a, b;
    if (!running.isValid() || stat("/dev/shm", &a) != 0 || stat(qPrintable(target.path()), &b) != 0
        || a.st_dev == b.st_dev)
        QSKIP("needs /dev/shm on a file system of its own");
    const QByteArray data(3 * 1024 * 1024 + 5, 'x');
    for (const QString &directory : {target.path(), target.path() + QStringLiteral("/missing")}) {
        const QString temporary = reserveDownload(running.path(), QStringLiteral("clip.bin"));
        QFile file(temporary);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
        file.close();
        const QString saved = publishDownload(temporary, directory, QStringLiteral("clip.bin"));
        // Copied where it can be; where not even that, kept and named.
        QCOMPARE(saved, directory == target.path() ? QDir(directory).filePath("clip.bin") : temporary);
        QFile read(saved);
        QVERIFY(read.open(QIODevice::ReadOnly) && read.readAll() == data);
    }
    // The kept one is no leftover to sweep.
    sweepDownloadLeftovers(running.path());
    QCOMPARE(entries(running.path()).size(), 1);
}

// Was: a crash left hidden download directories behind for ever.
void TestQCefClientHandler::crashLeftoversSweptOnlyOwnAndDead()
{
    QTemporaryDir dir;
    const pid_t child = fork();
    if (child == 0) {
        // Dies in the middle of its download.
        reserveDownload(dir.path(), QStringLiteral("crashed.bin"));
        _exit(0);
    }
    int status = 0;
    QVERIFY(child > 0 && waitpid(child, &status, 0) == child);
    const QString running = reserveDownload(dir.path(), QStringLiteral("running.bin"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".download-mine")));
    QCOMPARE(entries(dir.path()).size(), 3);

    sweepDownloadLeftovers(dir.path());
    QStringList left{".download-mine", QFileInfo(running).dir().dirName()};
    left.sort();
    QCOMPARE(entries(dir.path()), left);
    discardDownload(running);
}

void TestQCefClientHandler::repeatedDownloadsAsked_data()
{
    // Downloads as "<page><seconds>": p the platform, f and g other origins;
    // "yes" and "no" answer the open question. Verdicts: Allow, asK, Wait,
    // Refuse.
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("verdicts");
    // Was: a page looping a.click() filled the disk unasked.
    QTest::newRow("other origin: the second asks") << "f0 f0" << "AK";
    QTest::newRow("refused stays refused over reloads") << "f0 f1 no f60" << "AKR";
    QTest::newRow("another origin starts again") << "f0 f1 no g2 g2" << "AKAK";
    QTest::newRow("question open: a few wait, the rest refused") << "f0 f0 f0 f0 f0 f0 f0 f0 f0 f0 f0"
                                                                 << "AKWWWWWWWWR";
    QTest::newRow("platform: a burst asks") << "p0 p1 p2 p3" << "AAAK";
    QTest::newRow("platform: allowed for the burst, asked again after a pause")
        << "p0 p0 p0 p0 yes p1 p20 p20 p20 p20" << "AAAKAAAAK";
    QTest::newRow("platform: refused for the burst only") << "p0 p0 p0 p0 no p1 p20" << "AAAKRA";
}

void TestQCefClientHandler::repeatedDownloadsAsked()
{
    QFETCH(QString, events);
    QFETCH(QString, verdicts);
    DownloadLimiter limiter;
    const DownloadLimiter::Clock::time_point start = DownloadLimiter::Clock::now();
    QString seen;
    for (const QString &event : events.split(QLatin1Char(' '))) {
        if (event == QLatin1String("yes") || event == QLatin1String("no")) {
            limiter.answer(1, event == QLatin1String("yes"));
            continue;
        }
        const QString origin = event.at(0) == QLatin1Char('p') ? QStringLiteral("http://p:80") : event.left(1);
        const auto verdict = limiter.onDownload(1, origin, event.at(0) == QLatin1Char('p'),
                                                start + std::chrono::seconds(event.midRef(1).toInt()));
        seen += QStringLiteral("AKWR").at(int(verdict));
    }
    QCOMPARE(seen, verdicts);
}

void TestQCefClientHandler::getBrowserWhileMainBrowserComesAndGoes()
{
    // Was: GetBrowser could copy the main browser while OnBeforeClose released it.
    CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
    // Each new main browser's last reference goes away on the UI thread when
    // it closes, while the GUI thread copies it.
    CallbackStream stream([handler](unsigned n) {
        const CefRefPtr<CefBrowser> browser = new FakeBrowser(1 + n / 2, false);
        if (n % 2)
            handler->OnBeforeClose(browser);
        else
            handler->OnAfterCreated(browser);
    });
    const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
    int held = 0;
    int wrong = 0;
    while (Clock::now() < end) {
        // A copy of a browser already released reads freed memory.
        if (CefRefPtr<CefBrowser> browser = handler->GetBrowser()) {
            wrong += browser->GetIdentifier() <= 0 || browser->IsPopup();
            ++held;
        }
    }
    stream.finish();
    QCOMPARE(wrong, 0);
    QVERIFY(stream.executed() >= 200);
    // Otherwise the race was never run.
    QVERIFY(held > 0);
}

ENGINE_TEST_MAIN(TestQCefClientHandler)
#include "tst_qcefclienthandler.moc"
