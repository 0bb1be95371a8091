#include <QtTest>
#include <QtWidgets>

#include "qcefwebview.h"
#include "widget.h"

// Each test runs in a working directory of its own. Every message box that
// opens is recorded as "title|text|buttons" and closed with its Ok button.
class TestWidget : public QObject
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

    void form()
    {
        Widget window;
        QCOMPARE(window.windowTitle(), QString::fromUtf8("视频综合管理平台"));
        QCOMPARE(window.minimumSize(), QSize(518, 221));
        QCOMPARE(window.maximumSize(), QSize(518, 221));
        QVERIFY(window.isVisible() && !(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.contextMenuPolicy(), Qt::NoContextMenu);

        // Each child as "name x,y widthxheight text|", then its font where it is
        // not the application's, "bold", and "fixed" for a fixed size.
        QStringList children;
        for (QWidget *child : window.findChildren<QWidget *>()) {
            const QRect g = child->geometry();
            const QFont f = child->font();
            children << QString("%1 %2,%3 %4x%5 %6|").arg(child->objectName()).arg(g.x()).arg(g.y()).arg(g.width())
                            .arg(g.height()).arg(child->property("text").toString())
                    + (f.family() == QApplication::font().family() ? "" : f.family() + QString::number(f.pointSize()))
                    + (f.bold() ? " bold" : "")
                    + (child->sizePolicy() == QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed) ? " fixed" : "");
        }
        children.sort();
        const QStringList expected{"label 152,82 52x16 用户名：| bold", "label_2 152,122 53x16 密  码：| bold",
                                   "label_3 152,42 58x16 IP地址：|AcadEref10 bold", "lineEdit_3 218,40 133x20 | fixed",
                                   "lineEdit_4 218,80 133x20 | fixed", "lineEdit_5 218,120 133x20 | fixed",
                                   "pushButton 280,170 70x23 登陆|AcadEref10 bold"};
        QCOMPARE(children, expected);

        QTest::keyClicks(field(window, "lineEdit_5"), "secret");
        QCOMPARE(field(window, "lineEdit_5")->echoMode(), QLineEdit::Password);
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
QTEST_MAIN(TestWidget)

#include "tst_widget.moc"
