#include "noticebar.h"

#include <QEvent>

namespace {

constexpr int shownMs = 8000;
constexpr int maxLines = 4;
constexpr int gap = 12;

} // namespace

NoticeBar::NoticeBar(QWidget *parent)
    : QLabel(parent)
{
    // The browser's window is a native sibling; only a native window of its
    // own can be stacked above it.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setStyleSheet(QStringLiteral("QLabel { background: #323232; color: white; padding: 8px 12px; }"));
    hideTimer.setSingleShot(true);
    hideTimer.setInterval(shownMs);
    connect(&hideTimer, &QTimer::timeout, this, &QWidget::hide);
    parent->installEventFilter(this);
    hide();
}

void NoticeBar::post(const QString &text)
{
    if (isHidden())
        lines.clear();
    lines << text;
    while (lines.size() > maxLines)
        lines.removeFirst();
    setText(lines.join(QLatin1Char('\n')));
    place();
    show();
    raise();
    hideTimer.start();
}

void NoticeBar::mousePressEvent(QMouseEvent *)
{
    hide();
}

bool NoticeBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize && isVisible())
        place();
    return QLabel::eventFilter(watched, event);
}

void NoticeBar::place()
{
    const QWidget *window = parentWidget();
    const int width = qMin(sizeHint().width(), window->width() - 2 * gap);
    const int height = heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height();
    setGeometry(gap, window->height() - height - gap, width, height);
}
