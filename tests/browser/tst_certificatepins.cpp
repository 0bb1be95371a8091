// The pin file: what is read back from what is on disk, and what a pin
// leaves there.
#include <QtTest>

#include <sys/stat.h>

#include "certificatepins.h"

namespace {

const QByteArray a(64, 'A');
const QByteArray b = QByteArray(63, '0') + '9';

bool put(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestCertificatePins : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(QDir::setCurrent(work.path()) && (QFile::remove("certs.txt") || !QFile::exists("certs.txt"))); }

    void readsWhatIsThere_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("pinned"); // for 10.0.0.1:443
        QTest::newRow("missing") << QByteArray() << QByteArray();
        QTest::newRow("two hosts") << "10.0.0.2:443 " + b + "\n10.0.0.1:443 " + a + "\n" << a;
        QTest::newRow("last line without its end") << "10.0.0.1:443 " + a << a;
        QTest::newRow("damaged lines skipped") << "\x01\xff garbage\n10.0.0.1:443 " + a.toLower() + "\n10.0.0.1:443 "
                                                      + a.left(63) + "\n10.0.0.1:443 " + a + " x\n"
                                               << QByteArray();
        QTest::newRow("a line too long") << "10.0.0.1:443 " + a + QByteArray(2000, ' ') + "\n" << QByteArray();
        QTest::newRow("within the first 64 KiB") << QByteArray(60000, '#') + "\n10.0.0.1:443 " + a + "\n" << a;
        QTest::newRow("beyond the first 64 KiB") << QByteArray(70000, '\n') + "10.0.0.1:443 " + a + "\n"
                                                 << QByteArray();
    }
    void readsWhatIsThere()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, pinned);
        QVERIFY(content.isEmpty() || put("certs.txt", content));
        QCOMPARE(CertificatePins().pinned(CertificatePins::key("10.0.0.1", 443)), pinned);
    }

    void notARegularFile()
    {
        QVERIFY(QDir().mkdir("certs.txt"));
        QVERIFY(CertificatePins().pinned("10.0.0.1:443").isEmpty());
        QVERIFY(!CertificatePins().pin("10.0.0.1:443", a));
        QVERIFY(QDir().rmdir("certs.txt"));
        // Was possible: a FIFO in its place held the program waiting for a writer.
        QCOMPARE(::mkfifo("certs.txt", 0600), 0);
        QVERIFY(CertificatePins().pinned("10.0.0.1:443").isEmpty());
    }

    // A changed certificate replaces its host's pin and leaves the others;
    // damaged lines are dropped on the way.
    void pinReplacesOnlyItsOwn()
    {
        QVERIFY(put("certs.txt", "junk\n10.0.0.2:8443 " + b + "\n10.0.0.1:443 " + b + "\n"));
        const CertificatePins pins;
        QVERIFY(pins.pin(CertificatePins::key("10.0.0.1", 443), a));
        QVERIFY(pins.pin("10.0.0.3:443", a));
        QFile file("certs.txt");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "10.0.0.1:443 " + a + "\n10.0.0.2:8443 " + b + "\n10.0.0.3:443 " + a + "\n");
        QVERIFY(!pins.pin("10.0.0.4:443", "not a fingerprint") && !pins.pin("a b:443", a));
        QCOMPARE(pins.pinned("10.0.0.4:443"), QByteArray());
    }

    void fingerprintReadsAloud()
    {
        const QByteArray fingerprint = CertificatePins::fingerprint("der");
        QCOMPARE(fingerprint, QCryptographicHash::hash("der", QCryptographicHash::Sha256).toHex().toUpper());
        QCOMPARE(CertificatePins::readable(fingerprint).split('\n').size(), 2);
        QCOMPARE(CertificatePins::readable(fingerprint).remove(' ').remove('\n').toLatin1(), fingerprint);
    }

private:
    QTemporaryDir work;
};

QTEST_GUILESS_MAIN(TestCertificatePins)
#include "tst_certificatepins.moc"
