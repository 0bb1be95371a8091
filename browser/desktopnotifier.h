#ifndef DESKTOPNOTIFIER_H
#define DESKTOPNOTIFIER_H

#include <functional>
#include <map>
#include <set>

#include <QObject>
#include <QString>

class QDBusMessage;

// The desktop's notification server (org.freedesktop.Notifications on the
// session bus), when one runs: shows notifications there as well and reports
// when the user clicks one. Without a session bus or a server, nothing
// happens and nothing is printed; no server is started for it. The texts
// are shown as plain text. GUI thread only.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);
    // Takes every notification shown from the desktop.
    ~DesktopNotifier() override;

    // Shows |title| and |body| as notification |key|, in the place of
    // notification |replaced| when that is still shown.
    void show(quint64 key, const QString &title, const QString &body, quint64 replaced = 0);
    // Takes notification |key| from the desktop.
    void close(quint64 key);

signals:
    // The user clicked notification |key| on the desktop.
    void activated(quint64 key);

private slots:
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    enum class Markup { Unknown, Asking, Plain, Interpreted };

    void send(quint64 key, const QString &title, const QString &body, uint replacesId);
    // Calls |method| of the server, not starting one; |done| gets the reply.
    void call(const QString &method, const QList<QVariant> &arguments,
              std::function<void(const QDBusMessage &)> done = nullptr);

    const bool connected;
    // Whether the server reads markup in a body, which then has to be escaped.
    Markup markup;
    // Notifications that wait while the server is asked about markup.
    std::map<quint64, std::pair<QString, QString>> waiting;
    // The server's identifier of each notification shown, and the
    // notifications closed before the server named theirs.
    std::map<quint64, uint> ids;
    std::set<quint64> unanswered;
    std::set<quint64> closedEarly;
};

#endif // DESKTOPNOTIFIER_H
