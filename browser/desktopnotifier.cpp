#include "desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

// A session bus that is known to run. Without one, D-Bus would try to start
// a bus of its own (autolaunch), which would outlive the program.
bool sessionBusRuns()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
    , connected(sessionBusRuns() && QDBusConnection::sessionBus().isConnected())
    , markup(Markup::Unknown)
{
    if (!connected)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
}

DesktopNotifier::~DesktopNotifier()
{
    for (const auto &entry : ids)
        call(QStringLiteral("CloseNotification"), {entry.second});
}

void DesktopNotifier::show(quint64 key, const QString &title, const QString &body, quint64 replaced)
{
    if (!connected)
        return;
    uint replacesId = 0;
    const auto old = ids.find(replaced);
    if (old != ids.end()) {
        replacesId = old->second;
        ids.erase(old);
    }
    if (markup == Markup::Plain || markup == Markup::Interpreted) {
        send(key, title, body, replacesId);
        return;
    }
    waiting[key] = {title, body};
    if (markup == Markup::Asking)
        return;
    // A server that reads markup in the body would take the page's text for
    // markup: it is asked once, before the first notification.
    markup = Markup::Asking;
    call(QStringLiteral("GetCapabilities"), {}, [this](const QDBusMessage &reply) {
        std::map<quint64, std::pair<QString, QString>> ready;
        ready.swap(waiting);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            // No server: asked again with the next notification.
            markup = Markup::Unknown;
            return;
        }
        const QStringList capabilities = reply.arguments().value(0).toStringList();
        markup = capabilities.contains(QStringLiteral("body-markup")) ? Markup::Interpreted : Markup::Plain;
        for (const auto &entry : ready)
            send(entry.first, entry.second.first, entry.second.second, 0);
    });
}

void DesktopNotifier::send(quint64 key, const QString &title, const QString &body, uint replacesId)
{
    const QString text = markup == Markup::Interpreted ? body.toHtmlEscaped() : body;
    const QStringList actions = {QStringLiteral("default"), QString::fromUtf8("打开")};
    unanswered.insert(key);
    call(QStringLiteral("Notify"),
         {QString::fromUtf8("视频综合管理平台"), replacesId, QString(), title, text, actions, QVariantMap(), -1},
         [this, key](const QDBusMessage &reply) {
             unanswered.erase(key);
             const bool closed = closedEarly.erase(key) > 0;
             if (reply.type() != QDBusMessage::ReplyMessage)
                 return;
             const uint id = reply.arguments().value(0).toUInt();
             if (closed)
                 call(QStringLiteral("CloseNotification"), {id});
             else
                 ids[key] = id;
         });
}

void DesktopNotifier::close(quint64 key)
{
    waiting.erase(key);
    if (unanswered.count(key)) {
        closedEarly.insert(key);
        return;
    }
    const auto it = ids.find(key);
    if (it == ids.end())
        return;
    call(QStringLiteral("CloseNotification"), {it->second});
    ids.erase(it);
}

void DesktopNotifier::call(const QString &method, const QList<QVariant> &arguments,
                           std::function<void(const QDBusMessage &)> done)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!done) {
        bus.send(message);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done] {
        done(watcher->reply());
        watcher->deleteLater();
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action)
{
    if (action != QLatin1String("default"))
        return;
    for (const auto &entry : ids) {
        if (entry.second == id) {
            emit activated(entry.first);
            return;
        }
    }
}

void DesktopNotifier::onNotificationClosed(uint id, uint reason)
{
    (void)reason;
    for (auto it = ids.begin(); it != ids.end(); ++it) {
        if (it->second == id) {
            ids.erase(it);
            return;
        }
    }
}
