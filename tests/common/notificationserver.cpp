#include "notificationserver.h"

#include <QDBusConnection>

namespace {

const QString connectionName = QStringLiteral("notification server");

} // namespace

NotificationServer::~NotificationServer()
{
    QDBusConnection::disconnectFromBus(connectionName);
    daemon.kill();
    daemon.waitForFinished();
}

bool NotificationServer::start()
{
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead())
        return false;
    busAddress = QString::fromUtf8(daemon.readLine().trimmed());
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, connectionName);
    return bus.registerService(QStringLiteral("org.freedesktop.Notifications"))
        && bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

uint NotificationServer::Notify(const QString &, uint replacesId, const QString &, const QString &summary,
                                const QString &body, const QStringList &, const QVariantMap &, int)
{
    const uint id = replacesId ? replacesId : uint(shown.size()) + 1;
    shown.append({id, summary, body});
    return id;
}
