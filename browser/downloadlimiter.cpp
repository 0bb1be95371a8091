#include "downloadlimiter.h"

constexpr std::chrono::seconds DownloadLimiter::burstSpan;

DownloadLimiter::Verdict DownloadLimiter::onDownload(int browserId, const QString &pageOrigin, bool platform,
                                                     Clock::time_point now)
{
    Window &window = windows[browserId];
    const bool quiet = window.recent.empty() || now - window.recent.back() > burstSpan;
    if (window.origin != pageOrigin || (platform && quiet && window.decision != Decision::Asking)) {
        window = Window();
        window.origin = pageOrigin;
    }
    if (platform) {
        while (!window.recent.empty() && now - window.recent.front() > burstSpan)
            window.recent.pop_front();
        window.recent.push_back(now);
    } else {
        ++window.count;
    }
    switch (window.decision) {
    case Decision::Allowed:
        return Verdict::Allow;
    case Decision::Refused:
        return Verdict::Refuse;
    case Decision::Asking:
        return ++window.waiting <= maxWaiting ? Verdict::Wait : Verdict::Refuse;
    case Decision::None:
        break;
    }
    const bool unasked = platform ? int(window.recent.size()) <= burstSize : window.count <= 1;
    if (unasked)
        return Verdict::Allow;
    window.decision = Decision::Asking;
    return Verdict::Ask;
}

void DownloadLimiter::answer(int browserId, bool allowed)
{
    const auto it = windows.find(browserId);
    if (it == windows.end() || it->second.decision != Decision::Asking)
        return;
    it->second.decision = allowed ? Decision::Allowed : Decision::Refused;
    it->second.waiting = 0;
}

void DownloadLimiter::forget(int browserId)
{
    windows.erase(browserId);
}
