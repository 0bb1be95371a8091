// The login window's unit: the address test, the start URL, "set.txt" and
// the window itself. Each test runs in a working directory of its own; every
// message box that opens is recorded as "title|text|buttons" and closed with
// its Ok button.
#include <QtTest>
#include <QtWidgets>

#include <sys/stat.h>

#include "addressvalidator.h"
#include "qcefwebview.h"
#include "settingsfile.h"
#include "starturl.h"
#include "widget.h"

class TestLogin : public QObject
{
    Q_OBJECT

    static QCefWebView *visibleView()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && qobject_cast<QCefWebView *>(widget))
                return static_cast<QCefWebView *>(widget);
        }
        return nullptr;
    }

    static QLineEdit *field(Widget &window, const char *name) { return window.findChild<QLineEdit *>(name); }

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

    // set.txt before each login: blanks, CR LF ends and a third line.
    const QByteArray old = " \t9.9.9.9 \r\nolduser \r\nthird line\r\n";
    QScopedPointer<QTemporaryDir> dir;
    QTimer boxCloser;
    QStringList boxes;

private slots:
    void initTestCase()
    {
        connect(&boxCloser, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxes << box->windowTitle() + '|' + box->text() + '|' + QString::number(box->standardButtons());
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        boxCloser.start(10);
    }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(dir->path()));
        boxes.clear();
    }

    void cleanup()
    {
        // The login window leaves its view alone.
        for (QWidget *widget : QApplication::topLevelWidgets())
            delete qobject_cast<QCefWebView *>(widget);
    }

    void addressTest_data()
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

    void addressTest()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(isValidAddress(address), valid);
    }

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

    void settingsRead_data()
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

    void settingsRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QVERIFY(bytes.isNull() || put(settingsFileName, bytes));
        QCOMPARE(readSettingsFile(settingsFileName), lines);
    }

    void settingsReadOnlyFromARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a directory") << "directory";
        // Was: the login window never came, waiting for a writer of the FIFO.
        QTest::newRow("a FIFO") << "fifo";
    }

    // Nothing is read, and nothing waits.
    void settingsReadOnlyFromARegularFile()
    {
        QFETCH(QString, kind);
        if (kind == "directory")
            QVERIFY(QDir().mkdir(settingsFileName));
        else
            QCOMPARE(::mkfifo(settingsFileName, 0600), 0);
        QCOMPARE(readSettingsFile(settingsFileName), QStringList());
    }

    // The file is replaced whole, through a link the link's target, and no
    // temporary file is left behind.
    void settingsWrite()
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

    // What the user meets: a window that cannot be maximized or resized, the
    // password hidden as typed, and the keyboard focus running address, user
    // name, password, button.
    void windowBehaviour()
    {
        Widget window;
        QVERIFY(window.isVisible() && !(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.minimumSize(), window.maximumSize());

        QTest::keyClicks(field(window, "lineEdit_5"), "secret");
        QVERIFY(!field(window, "lineEdit_5")->displayText().contains("secret"));

        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("lineEdit_3"));
        for (const char *next : {"lineEdit_4", "lineEdit_5", "pushButton", "lineEdit_3"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString(next));
        }
    }

    void login_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QByteArray>("after"); // set.txt; null for a working directory that is gone

        QTest::newRow("bad address") << "1.2.3.256" << "bob" << "pw" << "IP地址错误！" << old;
        QTest::newRow("empty address") << "" << "bob" << "pw" << "IP地址错误！" << old;
        QTest::newRow("blank before address") << " 1.2.3.4" << "bob" << "pw" << "IP地址错误！" << old;
        QTest::newRow("no user name") << "1.2.3.4" << "" << "pw" << "用户名不能为空！" << QByteArray("1.2.3.4\n");
        QTest::newRow("no password") << "1.2.3.4" << "bob" << "" << "密码不能为空！" << QByteArray("1.2.3.4\n");
        QTest::newRow("login") << "10.0.0.1" << "bob smith" << "p#ss" << "" << QByteArray("10.0.0.1\nbob smith");
        QTest::newRow("blank credentials") << "10.0.0.1" << " " << " " << "" << QByteArray("10.0.0.1\n ");
        // Not even root can create a file in a working directory that is removed.
        QTest::newRow("set.txt cannot be written") << "10.0.0.1" << "bob" << "pw" << "" << QByteArray();
    }

    // The form is filled from set.txt as found: the address trimmed, the user
    // name as read, its line break included, so "olduser" must be cleared.
    void login()
    {
        QFETCH(QString, address);
        QFETCH(QString, userName);
        QFETCH(QString, password);
        QFETCH(QString, warning);
        QFETCH(QByteArray, after);
        QFile settings("set.txt");
        if (after.isNull())
            QVERIFY(QDir().mkdir("gone") && QDir::setCurrent("gone") && QDir("..").rmdir("gone"));
        else
            QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(old) == old.size());
        settings.close();

        Widget window;
        QCOMPARE(field(window, "lineEdit_3")->selectedText(), after.isNull() ? "" : "9.9.9.9");
        QCOMPARE(field(window, "lineEdit_4")->text(), after.isNull() ? "" : "olduser \n");
        QVERIFY(field(window, "lineEdit_5")->text().isEmpty() && !visibleView());
        const std::pair<const char *, QString> inputs[] = {
            {"lineEdit_3", address}, {"lineEdit_4", userName}, {"lineEdit_5", password}};
        for (const auto &[name, text] : inputs) {
            field(window, name)->clear();
            QTest::keyClicks(field(window, name), text);
        }
        QTest::mouseClick(window.findChild<QPushButton *>("pushButton"), Qt::LeftButton);

        QCOMPARE(settings.open(QIODevice::ReadOnly) ? settings.readAll() : QByteArray(), after);
        if (warning.isEmpty()) {
            QVERIFY(boxes.isEmpty() && !window.isVisible());
            // The view's own show handling moves it to the corner, which clears
            // the widget's copy of the state; its window keeps it.
            QCefWebView *view = visibleView();
            QVERIFY(view && view->windowHandle()->windowStates() & Qt::WindowMaximized);
        } else {
            QCOMPARE(boxes, QStringList("warning|" + warning + '|' + QString::number(QMessageBox::Ok)));
            QVERIFY(window.isVisible() && !visibleView());
            QCOMPARE(field(window, "lineEdit_5")->text(), password);
        }
    }
};

// The offscreen platform unless another one is asked for, set before main.
[[maybe_unused]] static const bool platformChosen =
    qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qputenv("QT_QPA_PLATFORM", "offscreen");
QTEST_MAIN(TestLogin)

#include "tst_login.moc"
