// The role test of main: which command lines make this executable an engine
// sub-process.
#include <QtTest>

#include <vector>

#include "issubprocess.h"

class TestIsSubProcess : public QObject
{
    Q_OBJECT

private slots:
    void roleFromArguments_data();
    void roleFromArguments();
};

void TestIsSubProcess::roleFromArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("subProcess");

    QTest::newRow("engine switch") << QStringList{"vmpclient", "--type=renderer"} << true;
    QTest::newRow("switch without value") << QStringList{"vmpclient", "--type"} << true;
    QTest::newRow("longer switch --typeface") << QStringList{"vmpclient", "--typeface"} << true;
    QTest::newRow("inside a word a--type") << QStringList{"vmpclient", "a--type"} << true;
    QTest::newRow("last of several") << QStringList{"vmpclient", "x", "y", "z--typez"} << true;
    QTest::newRow("after a lone --") << QStringList{"vmpclient", "--", "--type=renderer"} << true;
    QTest::newRow("program path a--type/") << QStringList{"/opt/a--type/vmpclient"} << true;
    QTest::newRow("non-ASCII around it") << QStringList{"vmpclient", "视频--type平台"} << true;
    QTest::newRow("capitals --TYPE=renderer") << QStringList{"vmpclient", "--TYPE=renderer"} << false;
    QTest::newRow("mixed case --Type") << QStringList{"vmpclient", "--Type=gpu-process"} << false;
    QTest::newRow("single dash -type") << QStringList{"vmpclient", "-type=gpu-process"} << false;
    QTest::newRow("split over arguments") << QStringList{"vmpclient", "--", "type"} << false;
    QTest::newRow("program only") << QStringList{"vmpclient"} << false;
    QTest::newRow("no arguments") << QStringList{} << false;
}

void TestIsSubProcess::roleFromArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, subProcess);

    // argv as main gets it: 8-bit strings ending with a null entry.
    std::vector<QByteArray> storage;
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    QCOMPARE(isSubProcess(static_cast<int>(storage.size()), argv.data()), subProcess);
}

QTEST_GUILESS_MAIN(TestIsSubProcess)

#include "tst_issubprocess.moc"
