#include "starturl.h"

#include <QStringList>

#include "addressvalidator.h"

namespace {

const QLatin1String passwordKey("pass=");

// UTF-8, with everything but the unreserved characters percent-encoded, so
// that "&", "#", "?", "+", "%", ":" or a blank in a credential can neither
// cut the query short nor change its meaning. Plain names pass unchanged.
QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// The address as the server is meant: its fields are decimal, leading zeros
// included, while a URL would read "010" as octal and reach another host.
QString decimalHost(const QString &address)
{
    if (!isValidAddress(address))
        return address;
    QStringList fields = address.split(QLatin1Char('.'));
    for (QString &field : fields)
        field = QString::number(field.toInt());
    return fields.join(QLatin1Char('.'));
}

} // namespace

QUrl startUrl(const QString &address, const QString &userName, const QString &password)
{
    const QString text = QStringLiteral("http://") + decimalHost(address) + QStringLiteral("/?user=") + encoded(userName)
        + QLatin1Char(':') + passwordKey + encoded(password);
    return QUrl(text, QUrl::TolerantMode);
}

QString maskPassword(const QString &url)
{
    const int query = url.indexOf(QLatin1Char('?'));
    if (query < 0)
        return url;
    const int fragment = url.indexOf(QLatin1Char('#'), query);
    const int end = fragment < 0 ? url.size() : fragment;
    const int key = url.indexOf(passwordKey, query);
    if (key < 0 || key >= end)
        return url;
    return url.left(key + passwordKey.size()) + QStringLiteral("******") + url.mid(end);
}
