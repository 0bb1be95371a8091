#ifndef RECONNECTOR_H
#define RECONNECTOR_H

#include <deque>
#include <functional>
#include <string>

// Brings the platform's page back on its own after the platform was down:
// a main-frame address of the platform that failed at the connection level
// is tried again after 2 s, then after twice as long each time, up to 30 s,
// until it loads. Only a GET is tried again: a form that was posted is never
// sent again, and no other origin is retried.
// Retries stop for errors that a retry cannot mend, when another navigation
// starts, and when stopped (the browser closes).
//
// Threads: everything runs on the browser UI thread, where the client
// handler's load callbacks arrive.
class Reconnector
{
public:
    // |schedule| runs its task after the given number of milliseconds, on the
    // browser UI thread; |load| loads an address into the main frame;
    // |isPlatform| tells whether an address belongs to the platform.
    Reconnector(std::function<void(int, std::function<void()>)> schedule, std::function<void(const std::string &)> load,
                std::function<bool(const std::string &)> isPlatform);

    // Whether a load that failed with |errorCode| may succeed when simply
    // tried again: the server was down, restarting or unreachable.
    static bool isConnectionError(int errorCode);

    // The load that starts next is the handler's own, showing an error page
    // or recovering from a crashed renderer; it is no new navigation.
    void expectOwnLoad();

    // The own load expected next failed before it started.
    void ownLoadFailed();

    // The main frame's load events, in the order the engine reports them:
    // the method of each request the main frame makes, then the load's own.
    void onRequest(const std::string &method);
    void onLoadStart();
    void onLoadError(int errorCode, const std::string &failedUrl);
    void onLoadEnd(int httpStatusCode);

    // Ends all retrying for good.
    void stop();

    // The delay before the next retry in milliseconds, 0 when none is due.
    int pendingDelayMs() const { return delayMs; }

private:
    enum class Load { Other, Own, Retry };

    void cancel();

    const std::function<void(int, std::function<void()>)> schedule;
    const std::function<void(const std::string &)> load;
    const std::function<bool(const std::string &)> isPlatform;
    // The method of the main frame's last request.
    std::string method = "GET";
    // Loads the handler started itself and has not seen start yet.
    std::deque<Load> expected;
    Load current = Load::Other;
    std::string url;
    int delayMs = 0;
    // Retries scheduled before a cancel find it changed and do nothing.
    unsigned generation = 0;
    bool stopped = false;
};

#endif // RECONNECTOR_H
