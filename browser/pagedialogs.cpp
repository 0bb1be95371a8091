#include "pagedialogs.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "pagequestion.h"

namespace {

// A page's text beyond this many characters is cut: a box taller than the
// screen would hide its own buttons.
const int maxTextLength = 2000;

QString capped(const QString &text)
{
    return text.size() > maxTextLength ? text.left(maxTextLength) + QChar(0x2026) : text;
}

QCheckBox *stopBox(bool offered)
{
    // Alt+S checks it from the keyboard.
    return offered ? new QCheckBox(QString::fromUtf8("禁止此网页再显示对话框(&S)")) : nullptr;
}

} // namespace

void showJavaScriptDialog(CefRefPtr<CefBrowser> browser, const QString &origin, cef_jsdialog_type_t type,
                          const QString &message, const QString &defaultText, bool offerStop,
                          std::function<void(bool ok, const QString &input, bool stop)> answer)
{
    // A narrow box cuts its title short, so the origin heads the text too.
    const QString text = QString::fromUtf8("%1 显示：\n\n%2").arg(origin, capped(message));
    QCheckBox *stop = stopBox(offerStop);
    if (type == JSDIALOGTYPE_PROMPT) {
        QInputDialog *dialog = new QInputDialog;
        dialog->setWindowTitle(origin);
        dialog->setLabelText(text);
        // The page's text is shown as text, never as markup.
        if (QLabel *label = dialog->findChild<QLabel *>())
            label->setTextFormat(Qt::PlainText);
        dialog->setTextValue(capped(defaultText));
        dialog->setOkButtonText(QString::fromUtf8("确定"));
        dialog->setCancelButtonText(QString::fromUtf8("取消"));
        if (QBoxLayout *layout = qobject_cast<QBoxLayout *>(dialog->layout()); layout && stop)
            layout->insertWidget(layout->count() - 1, stop);
        PageQuestion::ask(browser, dialog, [dialog, stop, answer](bool answered) {
            const bool ok = answered && dialog->result() == QDialog::Accepted;
            answer(ok, ok ? dialog->textValue() : QString(), answered && stop && stop->isChecked());
        });
        return;
    }
    QMessageBox *box = new QMessageBox;
    box->setWindowTitle(origin);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    QPushButton *ok = box->addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    if (type == JSDIALOGTYPE_CONFIRM)
        box->setEscapeButton(box->addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole));
    else
        box->setEscapeButton(ok);
    box->setCheckBox(stop);
    PageQuestion::ask(browser, box, [box, ok, stop, answer](bool answered) {
        answer(answered && box->clickedButton() == ok, QString(), answered && stop && stop->isChecked());
    });
}

namespace {

// A question titled with the page's origin, whose default button says yes;
// |answer| gets whether the user answered and whether with yes.
void ask(CefRefPtr<CefBrowser> browser, const QString &origin, const QString &text, const QString &detail,
         const QString &yes, const QString &no, std::function<void(bool answered, bool yes)> answer)
{
    QMessageBox *box = new QMessageBox;
    box->setWindowTitle(origin);
    box->setIcon(QMessageBox::Question);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setInformativeText(detail);
    QPushButton *accept = box->addButton(yes, QMessageBox::AcceptRole);
    box->setEscapeButton(box->addButton(no, QMessageBox::RejectRole));
    box->setDefaultButton(accept);
    PageQuestion::ask(browser, box,
                      [box, accept, answer](bool answered) { answer(answered, answered && box->clickedButton() == accept); });
}

} // namespace

void askToLeavePage(CefRefPtr<CefBrowser> browser, const QString &origin, std::function<void(bool leave)> answer)
{
    ask(browser, origin, QString::fromUtf8("要离开此网页吗？"), QString::fromUtf8("您所做的更改可能不会保存。"),
        QString::fromUtf8("离开"), QString::fromUtf8("取消"), [answer](bool, bool leave) { answer(leave); });
}

void askPermission(CefRefPtr<CefBrowser> browser, const QString &origin, const QString &devices,
                   std::function<void(bool answered, bool allowed)> answer)
{
    ask(browser, origin, QString::fromUtf8("%1 请求使用%2。").arg(origin, devices), QString::fromUtf8("是否允许？"),
        QString::fromUtf8("允许"), QString::fromUtf8("拒绝"), std::move(answer));
}
