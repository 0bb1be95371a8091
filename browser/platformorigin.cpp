#include "platformorigin.h"

QString PlatformOrigin::of(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return QString();
    const QString scheme = url.scheme().toLower();
    const int port = url.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1);
    return scheme + QLatin1String("://") + url.host().toLower() + QLatin1Char(':') + QString::number(port);
}

QString PlatformOrigin::shown(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

void PlatformOrigin::set(const QUrl &url)
{
    const QString newOrigin = of(url);
    std::lock_guard<std::mutex> guard(lock);
    origin = newOrigin;
}

void PlatformOrigin::follow(const QUrl &address)
{
    std::lock_guard<std::mutex> guard(lock);
    const QUrl platform(origin);
    if (platform.scheme() == QLatin1String("http") && address.scheme() == QLatin1String("https")
        && address.host().compare(platform.host(), Qt::CaseInsensitive) == 0)
        origin = of(address);
}

QString PlatformOrigin::get() const
{
    std::lock_guard<std::mutex> guard(lock);
    return origin;
}

bool PlatformOrigin::contains(const QUrl &url) const
{
    const QString asked = of(url);
    std::lock_guard<std::mutex> guard(lock);
    return !origin.isEmpty() && asked == origin;
}
