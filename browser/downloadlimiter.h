#ifndef DOWNLOADLIMITER_H
#define DOWNLOADLIMITER_H

#include <chrono>
#include <deque>
#include <map>

#include <QString>

// Decides which downloads a page may start unasked, as a browser limits
// "multiple downloads". The engine does not say whether the user asked for a
// download, so the rule goes by origin and by count:
//  - the platform's page, downloading the platform's files, is questioned
//    only for a burst: more than three downloads within ten seconds;
//  - any other file, or any file of any other page: the first is free, the
//    second asks.
// The user's answer holds for that window until its page goes to another
// origin; for the platform it holds until its downloads pause for ten
// seconds. A page's own reloads never start the count again. While a
// question is open, the window's next downloads wait for its answer, a few
// of them; the rest are refused. Not thread-safe: one thread uses it.
class DownloadLimiter
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Verdict {
        Allow,
        Ask,   // put the question now, the download waiting for it
        Wait,  // a question is open: the download waits for its answer
        Refuse
    };

    // A download started by the page of window |browserId|, whose origin is
    // |pageOrigin|; |platform| when both the page and the file are the
    // platform's.
    Verdict onDownload(int browserId, const QString &pageOrigin, bool platform, Clock::time_point now);

    // The user's answer to the question asked for |browserId|.
    void answer(int browserId, bool allowed);

    // Window |browserId| has closed.
    void forget(int browserId);

    static constexpr int burstSize = 3;
    static constexpr std::chrono::seconds burstSpan{10};
    static constexpr int maxWaiting = 8;

private:
    enum class Decision { None, Asking, Allowed, Refused };
    struct Window
    {
        QString origin;
        int count = 0; // downloads that are not the platform's
        // When the platform's recent downloads started.
        std::deque<Clock::time_point> recent;
        Decision decision = Decision::None;
        int waiting = 0;
    };
    std::map<int, Window> windows;
};

#endif // DOWNLOADLIMITER_H
