#ifndef NOTIFICATIONSERVER_H
#define NOTIFICATIONSERVER_H

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

// A desktop's notification server (org.freedesktop.Notifications) on a
// session bus of its own, a dbus-daemon that it starts: it keeps what it is
// asked to show, and reads body markup, as most servers do.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown
    {
        uint id;
        QString title;
        QString body;
    };

    ~NotificationServer() override;
    // Starts the bus and serves on it; false when it cannot.
    bool start();
    // The bus's address, for DBUS_SESSION_BUS_ADDRESS.
    QString address() const { return busAddress; }
    QList<Shown> shown;
    // The user clicks notification |id|.
    void click(uint id) { emit ActionInvoked(id, QStringLiteral("default")); }

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout);
    QStringList GetCapabilities() { return {"actions", "body", "body-markup"}; }
    void CloseNotification(uint) {}

signals:
    void ActionInvoked(uint id, const QString &action);

private:
    QProcess daemon;
    QString busAddress;
};

#endif // NOTIFICATIONSERVER_H
