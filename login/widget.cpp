#include "widget.h"

#include <QMessageBox>

#include "addressvalidator.h"
#include "qcefwebview.h"
#include "settingsfile.h"
#include "starturl.h"
#include "ui_widget.h"

Widget::Widget(QWidget *parent)
    : QWidget(parent)
    , webView(nullptr)
    , ui(new Ui::Widget)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(width(), height());

    const QStringList lines = readSettingsFile(QString::fromLatin1(settingsFileName));
    ui->lineEdit_3->setText(lines.value(0).trimmed());
    // The user name is taken as stored, a line break included.
    ui->lineEdit_4->setText(lines.value(1));

    show();
    // Typing replaces the remembered address. The address field is given the
    // focus itself: the form's tab-order calls leave the button first in the
    // window's focus chain, and it would take the focus on activation.
    ui->lineEdit_3->selectAll();
    ui->lineEdit_3->setFocus();

    // Created now, hidden, so that the browser exists by the time of the login.
    webView = new QCefWebView();
    webView->createBrowser(QSize(webView->width(), webView->height()));
}

Widget::~Widget()
{
    delete ui;
}

// Everything sits at fixed positions in a window of fixed size.
void Widget::resizeEvent(QResizeEvent *)
{
}

void Widget::on_pushButton_clicked()
{
    if (!isValidAddress(ui->lineEdit_3->text())) {
        QMessageBox::warning(this, tr("warning"), QString::fromUtf8("IP地址错误！"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    const QString address = ui->lineEdit_3->text();
    const QString userName = ui->lineEdit_4->text();
    const QString password = ui->lineEdit_5->text();
    // A valid address is remembered even when the login stops at a warning;
    // the user name only when the login goes ahead, and the password never.
    // A file that cannot be written is no reason to refuse the login.
    const bool complete = !userName.isEmpty() && !password.isEmpty();
    writeSettingsFile(QString::fromLatin1(settingsFileName), address, complete ? userName : QString());

    if (userName.isEmpty()) {
        QMessageBox::warning(this, tr("warning"), QString::fromUtf8("用户名不能为空！"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    if (password.isEmpty()) {
        QMessageBox::warning(this, tr("warning"), QString::fromUtf8("密码不能为空！"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }

    webView->load(startUrl(address, userName, password));
    // The view is shown first, so that closing the login window does not
    // leave the application without a visible window.
    webView->showMaximized();
    close();
}
