#include <QtTest>

#include "settingsfile.h"

// Each test runs in a working directory of its own.
class TestSettingsFile : public QObject
{
    Q_OBJECT

    static QByteArray contents(const QString &fileName)
    {
        QFile file(fileName);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    static bool put(const QString &fileName, const QByteArray &bytes)
    {
        QFile file(fileName);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    QScopedPointer<QTemporaryDir> dir;

private slots:
    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(dir->path()));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");

        const QString a1024(1024, 'a');
        QTest::newRow("missing") << QByteArray() << QStringList();
        QTest::newRow("one line") << QByteArray("1.2.3.4\n") << QStringList{"1.2.3.4\n"};
        QTest::newRow("CR LF ends") << QByteArray(" 1.2.3.4 \r\nbob\r\n") << QStringList{" 1.2.3.4 \n", "bob\n"};
        QTest::newRow("no break after line 2") << QByteArray("1.2.3.4\nbob") << QStringList{"1.2.3.4\n", "bob"};
        QTest::newRow("third line ignored") << QByteArray("a\nb\nsecret\n") << QStringList{"a\n", "b\n"};
        QTest::newRow("not UTF-8") << QByteArray("\xff" "1\n\xc3(\n")
                                   << QStringList{QChar(0xfffd) + QString("1\n"), QChar(0xfffd) + QString("(\n")};
        QTest::newRow("longest line kept whole") << QByteArray(1024, 'a') + "\nb" << QStringList{a1024 + "\n", "b"};
        QTest::newRow("long line cut, next line kept") << QByteArray(3000, 'a') + "\nb" << QStringList{a1024, "b"};
        QTest::newRow("cut before a split character")
            << QByteArray(1023, 'a') + QString::fromUtf8("中中\nb").toUtf8() << QStringList{a1024.left(1023), "b"};
        QTest::newRow("nothing read after 64 KiB") << QByteArray(maxSettingsBytes, 'a') + "\nb" << QStringList{a1024};
    }

    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QVERIFY(bytes.isNull() || put(settingsFileName, bytes));
        QCOMPARE(readSettingsFile(settingsFileName), lines);
    }

    // The file is replaced whole, through a link the link's target, and no
    // temporary file is left behind.
    void write()
    {
        QVERIFY(QDir().mkdir("elsewhere") && put("elsewhere/real.txt", "9.9.9.9\nsomeone who was here before\n"));
        QVERIFY(QFile::link("elsewhere/real.txt", settingsFileName));
        QCOMPARE(readSettingsFile(settingsFileName), QStringList({"9.9.9.9\n", "someone who was here before\n"}));
        QVERIFY(writeSettingsFile(settingsFileName, "10.0.0.1", QString::fromUtf8("张 三")));
        QVERIFY(QFileInfo(settingsFileName).isSymLink());
        QCOMPARE(contents("elsewhere/real.txt"), QByteArray("10.0.0.1\n\xe5\xbc\xa0 \xe4\xb8\x89"));
        QVERIFY(writeSettingsFile("elsewhere/real.txt", "10.0.0.2", QString()));
        QCOMPARE(contents(settingsFileName), QByteArray("10.0.0.2\n"));

        QVERIFY(!writeSettingsFile("elsewhere", "10.0.0.3", "bob")); // a directory
        const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir().entryList(all).size() + QDir("elsewhere").entryList(all).size(), 3); // and real.txt
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
