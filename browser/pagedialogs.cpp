#include "pagedialogs.h"

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

QWidget *browserWindow(CefRefPtr<CefBrowser> browser)
{
    if (!browser)
        return nullptr;
    QWidget *view = QWidget::find(static_cast<WId>(browser->GetHost()->GetWindowHandle()));
    return view ? view->window() : nullptr;
}

bool showJavaScriptDialog(QWidget *parent, const QString &origin, cef_jsdialog_type_t type,
                          const QString &message, const QString &defaultText, QString *input)
{
    // A narrow box cuts its title short, so the origin heads the text too.
    const QString text = QString::fromUtf8("%1 显示：\n\n%2").arg(origin, message);
    if (type == JSDIALOGTYPE_PROMPT) {
        QInputDialog dialog(parent);
        dialog.setWindowTitle(origin);
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setLabelText(text);
        // The page's text is shown as text, never as markup.
        if (QLabel *label = dialog.findChild<QLabel *>())
            label->setTextFormat(Qt::PlainText);
        dialog.setTextValue(defaultText);
        dialog.setOkButtonText(QString::fromUtf8("确定"));
        dialog.setCancelButtonText(QString::fromUtf8("取消"));
        if (dialog.exec() != QDialog::Accepted)
            return false;
        *input = dialog.textValue();
        return true;
    }
    QMessageBox box(parent);
    box.setWindowTitle(origin);
    box.setWindowModality(Qt::WindowModal);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    QPushButton *ok = box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    if (type == JSDIALOGTYPE_CONFIRM)
        box.setEscapeButton(box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole));
    else
        box.setEscapeButton(ok);
    box.exec();
    return box.clickedButton() == ok;
}

bool askToLeavePage(QWidget *parent, const QString &origin)
{
    QMessageBox box(parent);
    box.setWindowTitle(origin);
    box.setWindowModality(Qt::WindowModal);
    box.setText(QString::fromUtf8("要离开此网页吗？"));
    box.setInformativeText(QString::fromUtf8("您所做的更改可能不会保存。"));
    QPushButton *leave = box.addButton(QString::fromUtf8("离开"), QMessageBox::AcceptRole);
    QPushButton *stay = box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(leave);
    box.setEscapeButton(stay);
    box.exec();
    return box.clickedButton() == leave;
}

bool askPermission(QWidget *parent, const QString &origin, const QString &devices)
{
    QMessageBox box(parent);
    box.setWindowTitle(origin);
    box.setWindowModality(Qt::WindowModal);
    box.setIcon(QMessageBox::Question);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8("%1 请求使用%2。").arg(origin, devices));
    box.setInformativeText(QString::fromUtf8("是否允许？"));
    QPushButton *allow = box.addButton(QString::fromUtf8("允许"), QMessageBox::AcceptRole);
    QPushButton *deny = box.addButton(QString::fromUtf8("拒绝"), QMessageBox::RejectRole);
    box.setDefaultButton(allow);
    box.setEscapeButton(deny);
    box.exec();
    return box.clickedButton() == allow;
}
