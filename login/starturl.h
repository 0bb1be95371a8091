#ifndef STARTURL_H
#define STARTURL_H

#include <QString>
#include <QUrl>

// The platform's start page on the given server, carrying the credentials in
// its query: "http://<address>/?user=<user name>:pass=<password>".
QUrl startUrl(const QString &address, const QString &userName, const QString &password);

// |url| with the value of "pass=" in its query, up to the end of the query,
// replaced by six asterisks whatever its length, for showing an address that
// may be a start page on a screen that others see.
QString maskPassword(const QString &url);

#endif // STARTURL_H
