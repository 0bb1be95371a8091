#ifndef CERTIFICATEPINS_H
#define CERTIFICATEPINS_H

#include <QByteArray>
#include <QString>

// The certificates the user trusted, one per platform: a UTF-8 text file
// beside "set.txt" with a line "HOST:PORT FINGERPRINT" for each, the
// fingerprint being the SHA-256 of the certificate's DER encoding in 64
// upper-case hexadecimal digits. It holds no secret. It is read with the caps
// of "set.txt": at most 64 KiB from its start, lines beyond 1024 bytes and
// lines that are not a pin are skipped, and anything but a regular file reads
// as empty. Every call reads or writes the file afresh, so that two programs
// in one directory see each other's answers. GUI thread only.
class CertificatePins
{
public:
    // The file's name, relative to the working directory.
    static const char defaultFileName[];
    static constexpr qint64 maxBytes = 64 * 1024;
    static constexpr int maxLineBytes = 1024;

    explicit CertificatePins(const QString &fileName = QString::fromLatin1(defaultFileName));

    // The SHA-256 fingerprint of a certificate in DER encoding, as pinned.
    static QByteArray fingerprint(const QByteArray &der);
    // |fingerprint| in groups of four digits, eight to a line, for reading
    // aloud and comparing with what an administrator reads out.
    static QString readable(const QByteArray &fingerprint);
    // "host:port" as pins are keyed, the host in lower case.
    static QString key(const QString &host, int port);

    // The fingerprint pinned for |key|, or an empty one.
    QByteArray pinned(const QString &key) const;
    // Pins |fingerprint| for |key|, replacing what was pinned for it, and
    // keeps every other pin. The file is replaced atomically; false when it
    // could not be, and the old file is then left as it was.
    bool pin(const QString &key, const QByteArray &fingerprint) const;

private:
    const QString fileName;
};

#endif // CERTIFICATEPINS_H
