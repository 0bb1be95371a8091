#include <QtTest>

#include <memory>

#include "settingsfile.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool put(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

// Each test runs in a working directory of its own.
class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void read_data();
    void read();
    void onlyRegularFilesAreUsed();
    void write();
    void symlinkIsFollowed();

private:
    QString startDir;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestSettingsFile::init()
{
    startDir = QDir::currentPath();
    dir.reset(new QTemporaryDir);
    QVERIFY(QDir::setCurrent(dir->path()));
}

void TestSettingsFile::cleanup()
{
    QDir::setCurrent(startDir);
    dir.reset();
}

void TestSettingsFile::read_data()
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

void TestSettingsFile::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QVERIFY(bytes.isNull() || put(settingsFileName, bytes));
    QCOMPARE(readSettingsFile(settingsFileName), lines);
}

// A FIFO without a writer would block a plain open for ever; a device may
// never end.
void TestSettingsFile::onlyRegularFilesAreUsed()
{
    QVERIFY(QDir().mkdir("directory"));
    QCOMPARE(readSettingsFile("directory"), QStringList());
    QVERIFY(!writeSettingsFile("directory", "1.2.3.4", "bob"));
    QVERIFY(QFileInfo("directory").isDir());
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo("fifo", 0600), 0);
    QCOMPARE(readSettingsFile("fifo"), QStringList());
    QVERIFY(QFile::link("/dev/zero", "device"));
    QCOMPARE(readSettingsFile("device"), QStringList());
#endif
}

void TestSettingsFile::write()
{
    QVERIFY(put(settingsFileName, "9.9.9.9\nsomeone who was here before\n"));
    QVERIFY(writeSettingsFile(settingsFileName, "10.0.0.1", QString()));
    QCOMPARE(contents(settingsFileName), QByteArray("10.0.0.1\n"));
    QVERIFY(writeSettingsFile(settingsFileName, "10.0.0.1", QString::fromUtf8("张 三")));
    QCOMPARE(contents(settingsFileName), QByteArray("10.0.0.1\n\xe5\xbc\xa0 \xe4\xb8\x89"));
    // No temporary file is left behind.
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{settingsFileName});
}

void TestSettingsFile::symlinkIsFollowed()
{
    QVERIFY(QDir().mkdir("elsewhere"));
    QVERIFY(put("elsewhere/real.txt", "1.2.3.4\r\nbob\n"));
    QVERIFY(QFile::link("elsewhere/real.txt", settingsFileName));
    QCOMPARE(readSettingsFile(settingsFileName), QStringList({"1.2.3.4\n", "bob\n"}));

    QVERIFY(writeSettingsFile(settingsFileName, "5.6.7.8", "eve"));
    QVERIFY(QFileInfo(settingsFileName).isSymLink());
    QCOMPARE(contents("elsewhere/real.txt"), QByteArray("5.6.7.8\neve"));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
