#include "downloadquestion.h"

#include <QMessageBox>
#include <QPushButton>

#include "pagequestion.h"

void askMultipleDownloads(CefRefPtr<CefBrowser> browser, const QString &origin, std::function<void(bool)> answer)
{
    QMessageBox *box = new QMessageBox;
    box->setWindowTitle(origin);
    box->setIcon(QMessageBox::Question);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromUtf8("%1 正尝试自动下载多个文件。").arg(origin));
    box->setInformativeText(QString::fromUtf8("是否允许？"));
    QPushButton *allow = box->addButton(QString::fromUtf8("允许"), QMessageBox::AcceptRole);
    QPushButton *refuse = box->addButton(QString::fromUtf8("阻止"), QMessageBox::RejectRole);
    box->setEscapeButton(refuse);
    box->setDefaultButton(refuse);
    PageQuestion::ask(browser, box, [box, allow, answer](bool answered) {
        answer(answered && box->clickedButton() == allow);
    });
}
