// The handler's listener and main browser shared between the GUI thread and
// the browser UI thread. Meant to run under ThreadSanitizer as well: the
// threads involved are plain std::threads, so the sanitizer sees every access.
#include <atomic>
#include <chrono>
#include <thread>

#include <QtTest>

#include "fakebrowser.h"
#include "qcefclienthandler.h"
#include "uithread.h"

namespace {

using Clock = std::chrono::steady_clock;

// What all listeners of one round saw; outlives each listener.
struct Tally
{
    std::atomic<bool> detached{false};
    std::atomic<bool> inside{false};
    std::atomic<int> reports{0};
    std::atomic<int> reportsAfterDetach{0};
};

// The handler reports only creations and titles.
class RaceListener : public QCefClientHandler::Listener
{
public:
    explicit RaceListener(Tally &tally) : tally_(tally) {}

    void OnAddressChange(const QString &) override {}
    void OnLoadingStateChange(bool) override {}
    void OnNavStateChange(bool, bool) override {}
    void PostEvent(QEvent *event) override { delete event; }
    void OnAfterCreated() override { report(); }
    void OnTitleChange(CefRefPtr<CefBrowser>, const CefString &) override { report(); }

    // Written on the UI thread without atomics: the sanitizer reports a report
    // that overlaps the detach or the deletion of this object.
    int ownReports = 0;

private:
    void report()
    {
        tally_.inside = true;
        ++ownReports;
        // Stay a little, so that the detach often comes while a report runs.
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        // A detach that returned before or while this report ran.
        if (tally_.detached)
            ++tally_.reportsAfterDetach;
        tally_.inside = false;
        ++tally_.reports;
    }

    Tally &tally_;
};

} // namespace

class TestHandlerListenerRace : public QObject
{
    Q_OBJECT

private slots:
    void detachWhileReportsRun();
    void getBrowserWhileMainBrowserComesAndGoes();
};

void TestHandlerListenerRace::detachWhileReportsRun()
{
    // Was: a report running while the view detached went on into the destroyed view.
    const int rounds = 40;
    int detachedDuringReport = 0;
    for (int round = 0; round < rounds; ++round) {
        Tally tally;
        CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
        auto *listener = new RaceListener(tally);
        handler->SetListener(listener);
        const CefRefPtr<CefBrowser> browser = new FakeBrowser(1, false);
        // The main browser closes and comes back, so that OnAfterCreated keeps
        // reaching the listener too.
        CallbackStream stream([handler, browser](unsigned n) {
            if (n % 4 == 0)
                handler->OnAfterCreated(browser);
            if (n % 4 == 3)
                handler->OnBeforeClose(browser);
            else
                handler->OnTitleChange(browser, "title");
        });

        QVERIFY(QTest::qWaitFor([&] { return tally.reports > 0; }));
        detachedDuringReport += tally.inside;
        handler->SetListener(nullptr);
        tally.detached = true;
        QVERIFY2(!tally.inside, "SetListener(nullptr) returned while a report was still running");
        // A plain read, ordered after every report by the detach; then what a
        // view does in its destructor right after detaching.
        QCOMPARE(listener->ownReports, tally.reports.load());
        delete listener;

        // Let a good number of callbacks run after the detach.
        const int executedAtDetach = stream.executed();
        QVERIFY(QTest::qWaitFor([&] { return stream.executed() >= executedAtDetach + 40; }));
        stream.finish();
        QCOMPARE(tally.reportsAfterDetach.load(), 0);
    }
    // Otherwise the race this test is about never happened.
    QVERIFY2(detachedDuringReport > 0, qPrintable(QStringLiteral("%1 rounds").arg(rounds)));
}

void TestHandlerListenerRace::getBrowserWhileMainBrowserComesAndGoes()
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

ENGINE_TEST_MAIN(TestHandlerListenerRace)
#include "tst_handlerlistenerrace.moc"
