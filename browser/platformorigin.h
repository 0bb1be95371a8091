#ifndef PLATFORMORIGIN_H
#define PLATFORMORIGIN_H

#include <mutex>

#include <QString>
#include <QUrl>

// The origin of the platform the user logged in to: only it may ask for
// devices and notifications, and only its host's certificate may be pinned.
// The one place that decides whether an address belongs to the platform.
//
// Threads: any; set on the GUI thread and read on the browser UI thread.
class PlatformOrigin
{
public:
    // Scheme, host and port, "scheme://host:port", with the port written out
    // so that equal origins compare equal however they are written; empty
    // for an address without a host.
    static QString of(const QUrl &url);
    // Scheme, host and port as a user reads them, without the rest of the
    // address, which may carry credentials.
    static QString shown(const QUrl &url);

    // The address the user logged in to; empty before the login.
    void set(const QUrl &url);
    // The main frame arrived at |address|. Only a move up from http to https
    // on the platform's own host is followed: a page cannot lead the
    // platform's rights anywhere else, nor back to plain http.
    void follow(const QUrl &address);
    // "scheme://host:port", or empty before the login.
    QString get() const;
    // Whether |url| has the platform's origin; never before the login.
    bool contains(const QUrl &url) const;

private:
    mutable std::mutex lock;
    QString origin;
};

#endif // PLATFORMORIGIN_H
