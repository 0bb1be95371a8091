#include <QtTest>

#include "addressvalidator.h"

class TestAddressValidator : public QObject
{
    Q_OBJECT

private slots:
    void validation_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");

        QTest::newRow("all 255") << "255.255.255.255" << true;
        QTest::newRow("leading zeros") << "01.002.000.9" << true;
        QTest::newRow("each range of a field") << "249.250.199.99" << true;
        QTest::newRow("field 256") << "1.2.3.256" << false;
        QTest::newRow("four-digit field") << "1.2.3.0004" << false;
        QTest::newRow("three fields") << "1.2.3" << false;
        QTest::newRow("five fields") << "1.2.3.4.5" << false;
        QTest::newRow("empty field") << "1..3.4" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("leading blank") << " 1.2.3.4" << false;
        QTest::newRow("trailing blank") << "1.2.3.4 " << false;
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("١٢٣.١.١.١") << false;
        QTest::newRow("full-width digits") << QString::fromUtf8("１.２.３.４") << false;
    }

    void validation()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(isValidAddress(address), valid);
    }
};

QTEST_APPLESS_MAIN(TestAddressValidator)
#include "tst_addressvalidator.moc"
