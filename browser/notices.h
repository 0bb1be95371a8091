#ifndef NOTICES_H
#define NOTICES_H

#include <functional>
#include <mutex>

#include <QString>

#include "include/cef_base.h"

// Short messages for the user, such as where a download was saved, from
// helpers whose work may outlive the one who shows them: after detach they
// go nowhere.
//
// Threads: any; |show| is called on the caller's thread.
class Notices : public CefBaseRefCounted
{
public:
    explicit Notices(std::function<void(const QString &text)> show);

    void send(const QString &text);
    // Returns once no call of |show| is running any more.
    void detach();

private:
    std::function<void(const QString &text)> show;
    std::mutex lock;

    IMPLEMENT_REFCOUNTING(Notices);
};

#endif // NOTICES_H
