#include "downloadquestion.h"

#include <memory>

#include <QMessageBox>
#include <QPushButton>

void askMultipleDownloads(QWidget *parent, const QString &origin, std::function<void(bool)> answer)
{
    if (!parent) {
        answer(false);
        return;
    }
    // Answered by the button or, when the window takes the box with it, as
    // refused; whichever comes first.
    auto pending = std::make_shared<std::function<void(bool)>>(std::move(answer));
    const auto reply = [pending](bool allowed) {
        if (*pending) {
            const std::function<void(bool)> once = std::move(*pending);
            *pending = nullptr;
            once(allowed);
        }
    };
    QMessageBox *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(origin);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromUtf8("%1 正尝试自动下载多个文件。").arg(origin));
    box->setInformativeText(QString::fromUtf8("是否允许？"));
    QPushButton *allow = box->addButton(QString::fromUtf8("允许"), QMessageBox::AcceptRole);
    QPushButton *refuse = box->addButton(QString::fromUtf8("阻止"), QMessageBox::RejectRole);
    box->setEscapeButton(refuse);
    box->setDefaultButton(refuse);
    QObject::connect(box, &QMessageBox::finished, box, [box, allow, reply] { reply(box->clickedButton() == allow); });
    QObject::connect(box, &QObject::destroyed, [reply] { reply(false); });
    box->open();
}
