#include "certificatepins.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <map>

#include "regularfile.h"

const char CertificatePins::defaultFileName[] = "certs.txt";

namespace {

bool isFingerprint(const QByteArray &text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// The pins of the file, by key; damaged lines are left out.
std::map<QString, QByteArray> readPins(const QString &fileName)
{
    std::map<QString, QByteArray> pins;
    QFile file;
    if (!openRegularFile(file, fileName))
        return pins;
    const QByteArray head = file.read(CertificatePins::maxBytes);
    for (const QByteArray &line : head.split('\n')) {
        if (line.size() > CertificatePins::maxLineBytes)
            continue;
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() == 2 && !fields.at(0).isEmpty() && isFingerprint(fields.at(1)))
            pins[QString::fromUtf8(fields.at(0))] = fields.at(1);
    }
    return pins;
}

} // namespace

CertificatePins::CertificatePins(const QString &fileName)
    : fileName(fileName)
{
}

QByteArray CertificatePins::fingerprint(const QByteArray &der)
{
    return QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex().toUpper();
}

QString CertificatePins::readable(const QByteArray &fingerprint)
{
    QString text;
    for (int i = 0; i < fingerprint.size(); i += 4) {
        if (i)
            text += QLatin1Char(i % 32 ? ' ' : '\n');
        text += QString::fromLatin1(fingerprint.mid(i, 4));
    }
    return text;
}

QString CertificatePins::key(const QString &host, int port)
{
    return host.toLower() + QLatin1Char(':') + QString::number(port);
}

QByteArray CertificatePins::pinned(const QString &key) const
{
    const std::map<QString, QByteArray> pins = readPins(fileName);
    const auto it = pins.find(key);
    return it == pins.end() ? QByteArray() : it->second;
}

bool CertificatePins::pin(const QString &key, const QByteArray &fingerprint) const
{
    if (key.isEmpty() || key.contains(QLatin1Char(' ')) || key.contains(QLatin1Char('\n'))
        || !isFingerprint(fingerprint))
        return false;
    std::map<QString, QByteArray> pins = readPins(fileName);
    pins[key] = fingerprint;
    QByteArray content;
    for (const auto &entry : pins)
        content += entry.first.toUtf8() + ' ' + entry.second + '\n';
    // Written beside the target and renamed over it once whole, as "set.txt" is.
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}
