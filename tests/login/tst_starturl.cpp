#include <QtTest>

#include "starturl.h"

class TestStartUrl : public QObject
{
    Q_OBJECT

private slots:
    void credentialsReachTheServer_data()
    {
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("query"); // exactly as sent, where it matters

        QTest::newRow("plain, unchanged") << "admin" << "123456" << "user=admin:pass=123456";
        QTest::newRow("Chinese") << QString::fromUtf8("张三") << "123456" << "user=%E5%BC%A0%E4%B8%89:pass=123456";
        QTest::newRow("URL delimiters") << "a&b=c" << "p&w#d?x=1/y" << "";
        QTest::newRow("plus and percent") << "a+b" << "100%25+%zz" << "";
        QTest::newRow("blanks") << " " << "pass word " << "";
        QTest::newRow("separator in user name") << "x:pass=y" << ":" << "";
        QTest::newRow("unreserved, quotes, Chinese") << "A-z.0_~" << QString::fromUtf8("'\"<>\\中文密码") << "";
    }

    // The server reads one parameter: the text before the first ":pass=" the
    // user name, the rest the password, each form-decoded.
    void credentialsReachTheServer()
    {
        QFETCH(QString, userName);
        QFETCH(QString, password);
        QFETCH(QString, query);

        const QUrl url = startUrl("10.0.0.1", userName, password);
        const QString sent = url.toString(QUrl::FullyEncoded);
        QVERIFY2(sent.startsWith("http://10.0.0.1/?user=") && !sent.contains('&'), qPrintable(sent));
        QVERIFY(query.isEmpty() || sent == "http://10.0.0.1/?" + query);
        const int separator = sent.indexOf(":pass=");
        const auto decode = [](QString part) { return QUrl::fromPercentEncoding(part.replace('+', ' ').toLatin1()); };
        QCOMPARE(decode(sent.mid(22, separator - 22)), userName);
        QCOMPARE(decode(sent.mid(separator + 6)), password);
        // The view hands the engine the URL's default text, which is parsed again.
        QCOMPARE(QUrl(url.toString(), QUrl::TolerantMode).toString(QUrl::FullyEncoded), sent);
    }

    void leadingZerosAreDecimal_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("host");
        QTest::newRow("octal-looking ten") << "010.0.0.8" << "10.0.0.8";
        QTest::newRow("eight and nine after a zero") << "08.09.000.1" << "8.9.0.1";
    }

    // Regression: "010.0.0.8" passed the address test as decimal but the URL
    // read it as octal, so the browser went to 8.0.0.8.
    void leadingZerosAreDecimal()
    {
        QFETCH(QString, address);
        QFETCH(QString, host);
        QCOMPARE(startUrl(address, "u", "p").toString(), "http://" + host + "/?user=u:pass=p");
    }
};

QTEST_APPLESS_MAIN(TestStartUrl)
#include "tst_starturl.moc"
