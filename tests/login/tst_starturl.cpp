#include <QtTest>

#include "starturl.h"

namespace {

// The credentials as a server reads them from the query: one parameter, the
// text before the first ":pass=" the user name, the rest the password, each
// form-decoded.
QStringList serverView(const QUrl &url)
{
    const QString query = url.query(QUrl::FullyEncoded);
    const int separator = query.indexOf(":pass=");
    if (!query.startsWith("user=") || separator < 0 || query.contains('&'))
        return QStringList();
    const auto decode = [](QString part) {
        return QUrl::fromPercentEncoding(part.replace('+', ' ').toLatin1());
    };
    return {decode(query.mid(5, separator - 5)), decode(query.mid(separator + 6))};
}

} // namespace

class TestStartUrl : public QObject
{
    Q_OBJECT

private slots:
    void plainCredentialsAreUnchanged();
    void credentialsReachTheServer_data();
    void credentialsReachTheServer();
    void leadingZerosAreDecimal_data();
    void leadingZerosAreDecimal();
};

void TestStartUrl::plainCredentialsAreUnchanged()
{
    const QUrl url = startUrl("192.168.1.10", "admin", "123456");
    QCOMPARE(url.toString(QUrl::FullyEncoded), QString("http://192.168.1.10/?user=admin:pass=123456"));
    QCOMPARE(url.toString(), QString("http://192.168.1.10/?user=admin:pass=123456"));
}

void TestStartUrl::credentialsReachTheServer_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("password");

    QTest::newRow("Chinese user name") << QString::fromUtf8("张三") << "123456";
    QTest::newRow("URL delimiters") << "a&b=c" << "p&w#d?x=1/y";
    QTest::newRow("plus and percent") << "a+b" << "100%25+%zz";
    QTest::newRow("blanks") << " " << "pass word ";
    QTest::newRow("separator in user name") << "x:pass=y" << ":";
    QTest::newRow("unreserved, quotes, Chinese") << "A-z.0_~" << QString::fromUtf8("'\"<>\\中文密码");
}

void TestStartUrl::credentialsReachTheServer()
{
    QFETCH(QString, userName);
    QFETCH(QString, password);

    const QUrl url = startUrl("10.0.0.1", userName, password);
    QCOMPARE(url.host(), QString("10.0.0.1"));
    QCOMPARE(url.path(), QString("/"));
    QVERIFY(!url.hasFragment());
    QCOMPARE(serverView(url), QStringList({userName, password}));

    // The view hands the engine the URL's default text, which is parsed again.
    const QUrl reparsed(url.toString(), QUrl::TolerantMode);
    QCOMPARE(reparsed.toString(QUrl::FullyEncoded), url.toString(QUrl::FullyEncoded));
}

void TestStartUrl::leadingZerosAreDecimal_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::newRow("octal-looking ten") << "010.0.0.8" << "10.0.0.8";
    QTest::newRow("eight and nine after a zero") << "08.09.000.1" << "8.9.0.1";
    QTest::newRow("all zeros") << "000.000.000.000" << "0.0.0.0";
    QTest::newRow("plain") << "192.168.1.10" << "192.168.1.10";
}

// Regression: "010.0.0.8" passed the address test as decimal but the URL
// read it as octal, so the browser went to 8.0.0.8.
void TestStartUrl::leadingZerosAreDecimal()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    const QUrl url = startUrl(address, QStringLiteral("u"), QStringLiteral("p"));
    QCOMPARE(url.host(), host);
    QCOMPARE(url.toString(), QStringLiteral("http://") + host + QStringLiteral("/?user=u:pass=p"));
}

QTEST_APPLESS_MAIN(TestStartUrl)
#include "tst_starturl.moc"
