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

// What all listeners of one run saw; outlives each listener.
struct Tally
{
    std::atomic<bool> detached{false};
    std::atomic<bool> inside{false};
    std::atomic<int> reports{0};
    std::atomic<int> reportsAfterDetach{0};
};

class RaceListener : public QCefClientHandler::Listener
{
public:
    explicit RaceListener(Tally &tally)
        : tally_(tally)
    {
    }

    void OnAddressChange(const QString &) override { report(); }
    void OnLoadingStateChange(bool) override { report(); }
    void OnNavStateChange(bool, bool) override { report(); }
    void OnAfterCreated() override { report(); }
    void PostEvent(QEvent *event) override
    {
        delete event;
        report();
    }
    void OnTitleChange(CefRefPtr<CefBrowser>, const CefString &title) override
    {
        lastTitleLength = title.length();
        report();
    }

    // Written on the UI thread without atomics: the sanitizer reports a report
    // that overlaps the detach or the deletion of this object.
    size_t lastTitleLength = 0;
    int ownReports = 0;

private:
    void report()
    {
        tally_.inside = true;
        if (tally_.detached)
            ++tally_.reportsAfterDetach;
        ++ownReports;
        // Stay a little, so that the detach often comes while a report runs.
        const Clock::time_point until = Clock::now() + std::chrono::microseconds(20);
        while (Clock::now() < until)
            std::this_thread::yield();
        // A detach that returned while this report was still running.
        if (tally_.detached)
            ++tally_.reportsAfterDetach;
        tally_.inside = false;
        ++tally_.reports;
    }

    Tally &tally_;
};

// Posts handler callbacks to the browser UI thread from a thread of its own
// until stopped, keeping a bounded number in flight.
class CallbackStream
{
public:
    CallbackStream(CefRefPtr<QCefClientHandler> handler, CefRefPtr<CefBrowser> browser)
        : thread_([this, handler, browser] {
            for (unsigned i = 0; !stop_; ++i) {
                if (inFlight_ > 32) {
                    std::this_thread::yield();
                    continue;
                }
                ++inFlight_;
                const bool posted = CefPostTask(TID_UI, [this, handler, browser, i] {
                    // The main browser closes and comes back, so that
                    // OnAfterCreated keeps reaching the listener too.
                    switch (i % 4) {
                    case 0: handler->OnAfterCreated(browser); break;
                    case 3: handler->OnBeforeClose(browser); break;
                    default: handler->OnTitleChange(browser, CefString("title")); break;
                    }
                    ++executed_;
                    --inFlight_;
                });
                if (!posted)
                    break;
            }
        })
    {
    }
    ~CallbackStream() { finish(); }

    int executed() const { return executed_; }
    // Stops posting and waits until everything posted has run.
    void finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        runOnUi([] {});
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> inFlight_{0};
    std::atomic<int> executed_{0};
    std::thread thread_;
};

template<typename Predicate>
bool spinUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const Clock::time_point until = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::yield();
    }
    return true;
}

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
    const Clock::time_point end = Clock::now() + std::chrono::seconds(3);
    int rounds = 0;
    int detachedDuringReport = 0;
    while (rounds < 20 || (Clock::now() < end && rounds < 400)) {
        ++rounds;
        Tally tally;
        CefRefPtr<QCefClientHandler> handler = new QCefClientHandler();
        auto *listener = new RaceListener(tally);
        handler->SetListener(listener);
        CallbackStream stream(handler, new FakeBrowser(1, false));

        // Detach at a different point of the stream in each round.
        const int reportsBefore = 1 + rounds % 13;
        QVERIFY(spinUntil([&] { return tally.reports >= reportsBefore; }));
        if (rounds % 2)
            std::this_thread::sleep_for(std::chrono::microseconds(rounds % 7 * 3));
        if (tally.inside)
            ++detachedDuringReport;
        handler->SetListener(nullptr);
        tally.detached = true;
        QVERIFY2(!tally.inside, "SetListener(nullptr) returned while a report was still running");
        // Plain read: ordered after every report by the detach.
        const int seen = listener->ownReports;
        QVERIFY(seen >= reportsBefore);
        // What a view does in its destructor right after detaching.
        delete listener;

        // Let a good number of callbacks run after the detach.
        const int executedAtDetach = stream.executed();
        QVERIFY(spinUntil([&] { return stream.executed() >= executedAtDetach + 40; }));
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
    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    // Each cycle brings a new main browser whose last reference goes away on
    // the UI thread when it closes, while the GUI thread copies it.
    std::thread producer([&] {
        for (int id = 1; !stop; ++id) {
            CefRefPtr<CefBrowser> browser = new FakeBrowser(id, false);
            runOnUi([handler, browser] { handler->OnAfterCreated(browser); });
            CefPostTask(TID_UI, [handler, browser] { handler->OnBeforeClose(browser); });
            browser = nullptr;
            ++cycles;
        }
        runOnUi([] {});
    });

    const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
    const Clock::time_point giveUp = end + std::chrono::seconds(20);
    int held = 0;
    int wrong = 0;
    while ((Clock::now() < end || cycles < 100) && Clock::now() < giveUp) {
        if (CefRefPtr<CefBrowser> browser = handler->GetBrowser()) {
            if (browser->GetIdentifier() <= 0 || browser->IsPopup())
                ++wrong;
            ++held;
        }
    }
    stop = true;
    producer.join();
    QCOMPARE(wrong, 0);
    QVERIFY(cycles >= 100);
    QVERIFY(!handler->GetBrowser());
    // Otherwise the race was never run.
    QVERIFY(held > 0);
}

UI_THREAD_TEST_MAIN(TestHandlerListenerRace)
#include "tst_handlerlistenerrace.moc"
