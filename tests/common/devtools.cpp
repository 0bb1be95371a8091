#include "devtools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTest>
#include <QWebSocket>

namespace {

const int AnswerTimeoutMs = 10000;

} // namespace

DevTools::DevTools()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
}

QString DevTools::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

QString DevTools::evaluate(const QString &urlPrefix, const QString &expression)
{
    QNetworkAccessManager network;
    QScopedPointer<QNetworkReply> list(
        network.get(QNetworkRequest(QUrl(QStringLiteral("http://%1/json/list").arg(address())))));
    if (!QTest::qWaitFor([&] { return list->isFinished(); }, AnswerTimeoutMs) || list->error() != QNetworkReply::NoError)
        return QString();
    QString socketUrl;
    for (const QJsonValue &page : QJsonDocument::fromJson(list->readAll()).array()) {
        const QJsonObject target = page.toObject();
        if (target.value(QStringLiteral("type")).toString() == QLatin1String("page")
            && target.value(QStringLiteral("url")).toString().startsWith(urlPrefix)) {
            socketUrl = target.value(QStringLiteral("webSocketDebuggerUrl")).toString();
            break;
        }
    }
    if (socketUrl.isEmpty())
        return QString();

    QWebSocket socket;
    bool answered = false;
    QString answer;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString &message) {
        const QJsonObject reply = QJsonDocument::fromJson(message.toUtf8()).object();
        if (reply.value(QStringLiteral("id")).toInt() != 1)
            return;
        answered = true;
        answer = reply.value(QStringLiteral("result")).toObject().value(QStringLiteral("result")).toObject()
                     .value(QStringLiteral("value")).toVariant().toString();
    });
    socket.open(QUrl(socketUrl));
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, AnswerTimeoutMs))
        return QString();
    const QJsonObject params{{QStringLiteral("expression"), expression}, {QStringLiteral("returnByValue"), true}};
    const QJsonObject call{{QStringLiteral("id"), 1},
                           {QStringLiteral("method"), QStringLiteral("Runtime.evaluate")},
                           {QStringLiteral("params"), params}};
    socket.sendTextMessage(QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)));
    if (!QTest::qWaitFor([&] { return answered; }, AnswerTimeoutMs))
        return QString();
    return answer.isNull() ? QStringLiteral("") : answer;
}
