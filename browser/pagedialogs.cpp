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

namespace {

// A question modal to the view's window and titled with the page's origin,
// whose default button says yes; true when the user chose it.
bool ask(QWidget *parent, const QString &origin, const QString &text, const QString &detail, const QString &yes,
         const QString &no)
{
    QMessageBox box(parent);
    box.setWindowTitle(origin);
    box.setWindowModality(Qt::WindowModal);
    box.setIcon(QMessageBox::Question);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setInformativeText(detail);
    QPushButton *accept = box.addButton(yes, QMessageBox::AcceptRole);
    box.setEscapeButton(box.addButton(no, QMessageBox::RejectRole));
    box.setDefaultButton(accept);
    box.exec();
    return box.clickedButton() == accept;
}

} // namespace

bool askToLeavePage(QWidget *parent, const QString &origin)
{
    return ask(parent, origin, QString::fromUtf8("要离开此网页吗？"), QString::fromUtf8("您所做的更改可能不会保存。"),
               QString::fromUtf8("离开"), QString::fromUtf8("取消"));
}

bool askPermission(QWidget *parent, const QString &origin, const QString &devices)
{
    return ask(parent, origin, QString::fromUtf8("%1 请求使用%2。").arg(origin, devices), QString::fromUtf8("是否允许？"),
               QString::fromUtf8("允许"), QString::fromUtf8("拒绝"));
}
