#include "certificatequestion.h"

#include <QMessageBox>
#include <QPushButton>

#include "certificatepins.h"
#include "pagequestion.h"

void askToTrustCertificate(CefRefPtr<CefBrowser> browser, const QString &address, const QByteArray &fingerprint,
                           const QByteArray &pinned, std::function<void(bool)> answer)
{
    const QString readable = CertificatePins::readable(fingerprint);
    QString text;
    if (pinned.isEmpty()) {
        text = QString::fromUtf8("无法确认 %1 的身份。\n\n"
                                 "该平台的证书不是由本系统信任的任何机构签发的，没有人为它担保。"
                                 "请与平台管理员核对下面的证书指纹（SHA-256），完全一致时才信任它：\n\n%2\n\n"
                                 "信任后，本程序只为此地址记住这一个证书。")
                   .arg(address, readable);
    } else {
        text = QString::fromUtf8("警告：%1 的证书已更改！\n\n"
                                 "以前信任的证书指纹（SHA-256）：\n%2\n\n"
                                 "现在出示的证书指纹（SHA-256）：\n%3\n\n"
                                 "可能是平台换了证书，也可能是有人冒充该平台。"
                                 "请与平台管理员核对新的指纹；不一致时请拒绝。信任新证书将替换以前的证书。")
                   .arg(address, CertificatePins::readable(pinned), readable);
    }
    QMessageBox *box = new QMessageBox;
    box->setWindowTitle(address);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    QPushButton *trust = box->addButton(QString::fromUtf8("信任此证书(&T)"), QMessageBox::AcceptRole);
    QPushButton *refuse = box->addButton(QString::fromUtf8("拒绝"), QMessageBox::RejectRole);
    box->setDefaultButton(refuse);
    box->setEscapeButton(refuse);
    PageQuestion::ask(browser, box, [box, trust, answer](bool answered) {
        answer(answered && box->clickedButton() == trust);
    });
}
