#include <QtTest>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

#include "qcefwebview.h"
#include "widget.h"

namespace {

QCefWebView *visibleView()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *view = qobject_cast<QCefWebView *>(widget);
        if (view && view->isVisible())
            return view;
    }
    return nullptr;
}

QLineEdit *field(Widget &window, const char *name)
{
    return window.findChild<QLineEdit *>(name);
}

bool put(const QByteArray &bytes)
{
    QFile file("set.txt");
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

// Each test runs in a working directory of its own. Every message box that
// opens is recorded as "title|text|buttons" and closed with its Ok button.
class TestWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form();
    void focusOrder();
    void fieldsFilledFromFile_data();
    void fieldsFilledFromFile();
    void login_data();
    void login();
    void loginGoesAheadWhenFileCannotBeWritten();

private:
    void closeMessageBox();
    void logIn(Widget &window, const QString &address, const QString &userName, const QString &password);

    QString startDir;
    std::unique_ptr<QTemporaryDir> dir;
    QTimer boxCloser;
    QStringList boxes;
};

void TestWidget::init()
{
    startDir = QDir::currentPath();
    dir.reset(new QTemporaryDir);
    QVERIFY(QDir::setCurrent(dir->path()));
    boxes.clear();
    connect(&boxCloser, &QTimer::timeout, this, &TestWidget::closeMessageBox, Qt::UniqueConnection);
    boxCloser.start(10);
}

void TestWidget::cleanup()
{
    boxCloser.stop();
    // The login window leaves its view alone.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QCefWebView *>(widget))
            delete widget;
    }
    QDir::setCurrent(startDir);
    dir.reset();
}

void TestWidget::closeMessageBox()
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        boxes << box->windowTitle() + '|' + box->text() + '|' + QString::number(box->standardButtons());
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    }
}

void TestWidget::logIn(Widget &window, const QString &address, const QString &userName, const QString &password)
{
    const QStringList texts{address, userName, password};
    const char *names[] = {"lineEdit_3", "lineEdit_4", "lineEdit_5"};
    for (int i = 0; i < 3; ++i) {
        field(window, names[i])->clear();
        QTest::keyClicks(field(window, names[i]), texts[i]);
    }
    QTest::mouseClick(window.findChild<QPushButton *>("pushButton"), Qt::LeftButton);
}

void TestWidget::form()
{
    Widget window;
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QString::fromUtf8("视频综合管理平台"));
    QCOMPARE(window.minimumSize(), QSize(518, 221));
    QCOMPARE(window.maximumSize(), QSize(518, 221));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.contextMenuPolicy(), Qt::NoContextMenu);

    const struct {
        const char *name;
        QRect geometry;
        const char *text;
    } children[] = {
        {"pushButton", {280, 170, 70, 23}, "登陆"}, {"label_3", {152, 42, 58, 16}, "IP地址："},
        {"label", {152, 82, 52, 16}, "用户名："},   {"label_2", {152, 122, 53, 16}, "密  码："},
        {"lineEdit_4", {218, 80, 133, 20}, ""},     {"lineEdit_3", {218, 40, 133, 20}, ""},
        {"lineEdit_5", {218, 120, 133, 20}, ""},
    };
    QCOMPARE(window.children().size(), 7);
    for (const auto &child : children) {
        auto *widget = window.findChild<QWidget *>(child.name);
        QVERIFY2(widget, child.name);
        QCOMPARE(widget->geometry(), child.geometry);
        QCOMPARE(widget->property("text").toString(), QString::fromUtf8(child.text));
        if (qobject_cast<QLineEdit *>(widget))
            QCOMPARE(widget->sizePolicy(), QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed));
        else
            QVERIFY(widget->font().bold());
    }
    const QFont buttonFont = window.findChild<QWidget *>("pushButton")->font();
    QCOMPARE(buttonFont.family(), QString("AcadEref"));
    QCOMPARE(buttonFont.pointSize(), 10);
    QCOMPARE(window.findChild<QWidget *>("label_3")->font(), buttonFont);
    QCOMPARE(window.findChild<QWidget *>("label")->font().family(), QApplication::font().family());

    QTest::keyClicks(field(window, "lineEdit_5"), "secret");
    QCOMPARE(field(window, "lineEdit_5")->echoMode(), QLineEdit::Password);
    QVERIFY(!field(window, "lineEdit_5")->displayText().contains("secret"));
}

void TestWidget::focusOrder()
{
    Widget window;
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("lineEdit_3"));
    for (const char *next : {"lineEdit_4", "lineEdit_5", "pushButton", "lineEdit_3"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString(next));
    }
}

void TestWidget::fieldsFilledFromFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("userName");

    QTest::newRow("missing") << QByteArray() << "" << "";
    QTest::newRow("one line") << QByteArray("1.2.3.4") << "1.2.3.4" << "";
    QTest::newRow("blanks and CR LF") << QByteArray(" \t1.2.3.4  \r\nbob \r\nx\r\n") << "1.2.3.4" << "bob \n";
    QTest::newRow("20 MB, no line end") << QByteArray(20 << 20, '7') << QString(1024, '7') << "";
}

// The user name is used as read, its line break included; the window shows
// at once whatever the size of the file.
void TestWidget::fieldsFilledFromFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, address);
    QFETCH(QString, userName);
    QVERIFY(bytes.isNull() || put(bytes));

    QElapsedTimer timer;
    timer.start();
    Widget window;
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(field(window, "lineEdit_3")->text(), address);
    QCOMPARE(field(window, "lineEdit_3")->selectedText(), address);
    QCOMPARE(field(window, "lineEdit_4")->text(), userName);
    QVERIFY(field(window, "lineEdit_5")->text().isEmpty());
    QVERIFY(!visibleView());
}

void TestWidget::login_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QByteArray>("file");

    const QByteArray old("9.9.9.9\nolduser");
    QTest::newRow("bad address") << "1.2.3.256" << "bob" << "pw" << "IP地址错误！" << old;
    QTest::newRow("empty address") << "" << "bob" << "pw" << "IP地址错误！" << old;
    QTest::newRow("blank before address") << " 1.2.3.4" << "bob" << "pw" << "IP地址错误！" << old;
    QTest::newRow("no user name") << "1.2.3.4" << "" << "pw" << "用户名不能为空！" << QByteArray("1.2.3.4\n");
    QTest::newRow("no password") << "1.2.3.4" << "bob" << "" << "密码不能为空！" << QByteArray("1.2.3.4\n");
    QTest::newRow("login") << "10.0.0.1" << "bob smith" << "p#ss" << "" << QByteArray("10.0.0.1\nbob smith");
    QTest::newRow("blank credentials") << "10.0.0.1" << " " << " " << "" << QByteArray("10.0.0.1\n ");
}

void TestWidget::login()
{
    QFETCH(QString, address);
    QFETCH(QString, userName);
    QFETCH(QString, password);
    QFETCH(QString, warning);
    QFETCH(QByteArray, file);
    QVERIFY(put("9.9.9.9\nolduser"));

    Widget window;
    logIn(window, address, userName, password);

    QFile settings("set.txt");
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(settings.readAll(), file);
    if (warning.isEmpty()) {
        QVERIFY(boxes.isEmpty());
        QVERIFY(!window.isVisible());
        QCefWebView *view = visibleView();
        QVERIFY(view);
        // The view's own show handling moves it to the corner, which clears
        // the widget's copy of the state; its window keeps it.
        QVERIFY(view->windowHandle()->windowStates() & Qt::WindowMaximized);
    } else {
        QCOMPARE(boxes, QStringList("warning|" + warning + '|' + QString::number(QMessageBox::Ok)));
        QVERIFY(window.isVisible());
        QVERIFY(!visibleView());
        QCOMPARE(field(window, "lineEdit_5")->text(), password);
    }
}

void TestWidget::loginGoesAheadWhenFileCannotBeWritten()
{
#ifdef Q_OS_UNIX
    // Not even root can create a file in a working directory that is removed.
    QVERIFY(QDir().mkdir("gone") && QDir::setCurrent("gone") && QDir("..").rmdir("gone"));
#else
    QSKIP("Needs a working directory that can be removed while in use");
#endif
    Widget window;
    logIn(window, "10.0.0.1", "bob", "pw");
    QVERIFY(boxes.isEmpty());
    QVERIFY(!window.isVisible());
    QVERIFY(visibleView());
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestWidget test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_widget.moc"
