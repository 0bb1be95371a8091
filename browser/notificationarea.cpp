#include "notificationarea.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "attention.h"

namespace {

constexpr int shownNotices = 5;
// A page that raises alarms without end: the oldest beyond these are closed.
constexpr size_t keptNotices = 100;
constexpr int noticeWidth = 340;
constexpr int gap = 12;
constexpr int spacing = 8;

// The page's text, cut to a size that cannot cover the screen.
QString bounded(const QString &text, int maxLines, int maxChars)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.simplified();
    lines.removeAll(QString());
    QString joined = lines.mid(0, maxLines).join(QLatin1Char('\n'));
    if (joined.size() > maxChars || lines.size() > maxLines)
        joined = joined.left(maxChars) + QChar(0x2026);
    return joined;
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    QLabel *label = new QLabel(parent);
    // The page's text is never markup, nor a link.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setWordWrap(true);
    label->setText(text);
    return label;
}

// A native window of its own, the only kind that stacks above the browser's
// native window, and one that never takes the keyboard from the page.
void floatAbovePage(QWidget *widget)
{
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->setAttribute(Qt::WA_DontCreateNativeAncestors);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setCursor(Qt::PointingHandCursor);
}

} // namespace

NotificationArea::NotificationArea(QWidget *window)
    : QObject(window)
    , window(window)
    , more(new QLabel(window))
    , nextKey(1)
    , attentionAsked(false)
{
    floatAbovePage(more);
    more->setTextFormat(Qt::PlainText);
    more->setAlignment(Qt::AlignCenter);
    more->setToolTip(QString::fromUtf8("关闭较早的通知"));
    more->setStyleSheet(QStringLiteral("QLabel { background: #323232; color: white; padding: 6px; }"));
    more->installEventFilter(this);
    more->hide();
    window->installEventFilter(this);
    connect(&desktop, &DesktopNotifier::activated, this, &NotificationArea::activate);
}

void NotificationArea::add(CefRefPtr<CefNotification> notification)
{
    Entry entry{nextKey++, notification, QDateTime::currentDateTime(), nullptr};
    quint64 replaced = 0;
    const QString tag = notification->GetTag().ToQString();
    if (!tag.isEmpty()) {
        for (const Entry &old : entries) {
            if (old.notification->GetTag().ToQString() == tag
                && old.notification->GetOrigin().ToQString() == notification->GetOrigin().ToQString()) {
                replaced = old.key;
                break;
            }
        }
    }
    desktop.show(entry.key, bounded(notification->GetTitle().ToQString(), 1, 120),
                 bounded(notification->GetBody().ToQString(), 5, 400), replaced);
    // The engine has let the old one go; the page expects no close for it.
    if (replaced)
        remove(replaced, false);
    entries.push_back(entry);
    while (entries.size() > keptNotices)
        remove(entries.front().key, true);
    place();
    // Asked once until the user has come to the window.
    if ((window->isMinimized() || !window->isActiveWindow()) && !attentionAsked) {
        attentionAsked = true;
        demandAttention(window);
    }
}

void NotificationArea::closedByPage(CefRefPtr<CefNotification> notification)
{
    for (const Entry &entry : entries) {
        if (entry.notification.get() == notification.get()) {
            remove(entry.key, false);
            place();
            return;
        }
    }
}

QFrame *NotificationArea::makeNotice(const Entry &entry)
{
    QFrame *notice = new QFrame(window);
    floatAbovePage(notice);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setStyleSheet(QStringLiteral("#notice { background: #323232; border-left: 4px solid #e0a000; }"
                                         "QLabel { color: white; } QLabel#meta { color: #b0b0b0; }"
                                         "QToolButton { color: white; border: none; }"));
    QLabel *title = plainLabel(bounded(entry.notification->GetTitle().ToQString(), 1, 120), notice);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    QLabel *body = plainLabel(bounded(entry.notification->GetBody().ToQString(), 5, 400), notice);
    body->setVisible(!body->text().isEmpty());
    QLabel *meta = plainLabel(bounded(entry.notification->GetOrigin().ToQString(), 1, 100) + QStringLiteral(" · ")
                                  + entry.arrived.toString(QStringLiteral("HH:mm:ss")),
                              notice);
    meta->setObjectName(QStringLiteral("meta"));
    QToolButton *close = new QToolButton(notice);
    close->setText(QString::fromUtf8("✕"));
    close->setToolTip(QString::fromUtf8("关闭"));
    close->setFocusPolicy(Qt::NoFocus);
    const quint64 key = entry.key;
    connect(close, &QToolButton::clicked, this, [this, key] {
        remove(key, true);
        place();
    });

    QHBoxLayout *top = new QHBoxLayout();
    top->addWidget(title, 1);
    top->addWidget(close, 0, Qt::AlignTop);
    QVBoxLayout *layout = new QVBoxLayout(notice);
    layout->setContentsMargins(12, 8, 8, 10);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(body);
    layout->addWidget(meta);
    notice->setProperty("notificationKey", key);
    notice->installEventFilter(this);
    return notice;
}

void NotificationArea::remove(quint64 key, bool tellPage)
{
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->key != key)
            continue;
        if (tellPage)
            it->notification->Close();
        desktop.close(key);
        // It may be the notice whose click is being handled.
        if (it->notice) {
            it->notice->hide();
            it->notice->deleteLater();
        }
        entries.erase(it);
        return;
    }
}

void NotificationArea::activate(quint64 key)
{
    for (const Entry &entry : entries) {
        if (entry.key != key)
            continue;
        entry.notification->Click();
        remove(key, true);
        place();
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
        return;
    }
}

void NotificationArea::closeFolded()
{
    while (entries.size() > size_t(shownNotices))
        remove(entries.front().key, true);
    place();
}

bool NotificationArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window) {
        if (event->type() == QEvent::Resize)
            place();
        else if (event->type() == QEvent::WindowActivate)
            attentionAsked = false;
        return false;
    }
    if (event->type() != QEvent::MouseButtonRelease
        || static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    if (watched == more)
        closeFolded();
    else if (watched->property("notificationKey").isValid())
        activate(watched->property("notificationKey").toULongLong());
    return false;
}

void NotificationArea::place()
{
    const int width = qMin(noticeWidth, window->width() - 2 * gap);
    const int right = window->width() - gap;
    int y = gap;
    int shown = 0;
    // Newest first, from the top down; the older ones fold.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (shown == shownNotices) {
            if (it->notice) {
                it->notice->hide();
                it->notice->deleteLater();
                it->notice = nullptr;
            }
            continue;
        }
        ++shown;
        if (!it->notice)
            it->notice = makeNotice(*it);
        const int height = it->notice->heightForWidth(width);
        it->notice->setGeometry(right - width, y, width, height);
        it->notice->show();
        it->notice->raise();
        y += height + spacing;
    }
    const int folded = int(entries.size()) - shown;
    more->setVisible(folded > 0);
    if (folded > 0) {
        more->setText(QStringLiteral("+%1").arg(folded));
        more->setGeometry(right - width, y, width, more->sizeHint().height());
        more->raise();
    }
}
