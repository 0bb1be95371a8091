#include "starturl.h"

namespace {

// UTF-8, with everything but the unreserved characters percent-encoded, so
// that "&", "#", "?", "+", "%", ":" or a blank in a credential can neither
// cut the query short nor change its meaning. Plain names pass unchanged.
QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QUrl startUrl(const QString &address, const QString &userName, const QString &password)
{
    const QString text = QStringLiteral("http://") + address + QStringLiteral("/?user=") + encoded(userName)
        + QStringLiteral(":pass=") + encoded(password);
    return QUrl(text, QUrl::TolerantMode);
}
