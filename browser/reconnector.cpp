#include "reconnector.h"

#include <algorithm>

#include "include/internal/cef_types.h"

namespace {

const int FirstDelayMs = 2000;
const int MaxDelayMs = 30000;

} // namespace

Reconnector::Reconnector(std::function<void(int, std::function<void()>)> schedule,
                         std::function<void(const std::string &)> load,
                         std::function<bool(const std::string &)> isPlatform)
    : schedule(std::move(schedule))
    , load(std::move(load))
    , isPlatform(std::move(isPlatform))
{
}

bool Reconnector::isConnectionError(int errorCode)
{
    switch (errorCode) {
    // Nothing answered: the server is down or restarting.
    case ERR_CONNECTION_REFUSED:
    case ERR_CONNECTION_FAILED:
    // A connection that broke or that the server dropped while restarting.
    case ERR_CONNECTION_CLOSED:
    case ERR_CONNECTION_RESET:
    case ERR_CONNECTION_ABORTED:
    case ERR_EMPTY_RESPONSE:
    // The server or the network on the way is unreachable for now.
    case ERR_ADDRESS_UNREACHABLE:
    case ERR_CONNECTION_TIMED_OUT:
    case ERR_TIMED_OUT:
    case ERR_INTERNET_DISCONNECTED:
    case ERR_NETWORK_CHANGED:
    case ERR_NAME_NOT_RESOLVED:
    case ERR_NAME_RESOLUTION_FAILED:
        return true;
    default:
        return false;
    }
}

void Reconnector::expectOwnLoad()
{
    expected.push_back(Load::Own);
}

void Reconnector::ownLoadFailed()
{
    if (!expected.empty())
        expected.pop_front();
}

void Reconnector::onRequest(const std::string &requestMethod)
{
    method = requestMethod;
}

void Reconnector::onLoadStart()
{
    if (expected.empty()) {
        // Someone else navigates: what failed before is no longer wanted.
        current = Load::Other;
        cancel();
        return;
    }
    current = expected.front();
    expected.pop_front();
}

void Reconnector::onLoadError(int errorCode, const std::string &failedUrl)
{
    if (stopped)
        return;
    // Another site is not the platform's to bring back, and a retry would
    // send a posted form again, or its address alone as a GET.
    if (!isConnectionError(errorCode) || failedUrl.empty() || method != "GET" || !isPlatform(failedUrl)) {
        cancel();
        return;
    }
    // A retry that failed again waits twice as long; any other failure starts
    // afresh.
    const bool again = current == Load::Retry && failedUrl == url && delayMs > 0;
    delayMs = again ? std::min(delayMs * 2, MaxDelayMs) : FirstDelayMs;
    url = failedUrl;
    const unsigned scheduled = ++generation;
    schedule(delayMs, [this, scheduled] {
        if (stopped || scheduled != generation)
            return;
        expected.push_back(Load::Retry);
        load(url);
    });
}

void Reconnector::onLoadEnd(int httpStatusCode)
{
    // The platform answered: the next outage starts with a short wait again.
    if (current == Load::Retry && httpStatusCode != 0)
        cancel();
}

void Reconnector::stop()
{
    stopped = true;
    cancel();
}

void Reconnector::cancel()
{
    ++generation;
    delayMs = 0;
    url.clear();
}
