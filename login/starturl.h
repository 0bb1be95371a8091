#ifndef STARTURL_H
#define STARTURL_H

#include <QString>
#include <QUrl>

// The platform's start page on the given server, carrying the credentials in
// its query: "http://<address>/?user=<user name>:pass=<password>".
QUrl startUrl(const QString &address, const QString &userName, const QString &password);

#endif // STARTURL_H
