// The role test of main: which command lines make this executable an engine
// sub-process. "--type" anywhere counts, the program path included; capitals
// do not.
#include <QtTest>

#include <vector>

#include "issubprocess.h"

class TestIsSubProcess : public QObject
{
    Q_OBJECT

private slots:
    void roleFromArguments_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<bool>("subProcess");

        QTest::newRow("engine switch") << QByteArrayList{"vmpclient", "--type=renderer"} << true;
        QTest::newRow("longer switch --typeface") << QByteArrayList{"vmpclient", "--typeface"} << true;
        QTest::newRow("inside a word, not first") << QByteArrayList{"vmpclient", "x", "z--typez"} << true;
        QTest::newRow("after a lone --") << QByteArrayList{"vmpclient", "--", "--type=renderer"} << true;
        QTest::newRow("program path a--type/") << QByteArrayList{"/opt/a--type/vmpclient"} << true;
        QTest::newRow("non-ASCII around it") << QByteArrayList{"vmpclient", "视频--type平台"} << true;
        QTest::newRow("capitals --TYPE=renderer") << QByteArrayList{"vmpclient", "--TYPE=renderer"} << false;
        QTest::newRow("single dash -type") << QByteArrayList{"vmpclient", "-type=gpu-process"} << false;
        QTest::newRow("split over arguments") << QByteArrayList{"vmpclient", "--", "type"} << false;
        QTest::newRow("program only") << QByteArrayList{"vmpclient"} << false;
        QTest::newRow("no arguments") << QByteArrayList{} << false;
    }

    void roleFromArguments()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(bool, subProcess);
        // argv as main gets it, ending with a null entry.
        std::vector<char *> argv;
        for (QByteArray &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        QCOMPARE(isSubProcess(arguments.size(), argv.data()), subProcess);
    }
};

QTEST_GUILESS_MAIN(TestIsSubProcess)

#include "tst_issubprocess.moc"
