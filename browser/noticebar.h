#ifndef NOTICEBAR_H
#define NOTICEBAR_H

#include <QLabel>
#include <QStringList>
#include <QTimer>

// A short message at the bottom of a window that shows a native browser
// window, such as where a download went. It does not take the focus, hides
// itself after a few seconds or when clicked, and stacks above the browser's
// window. GUI thread only.
class NoticeBar : public QLabel
{
public:
    explicit NoticeBar(QWidget *parent);

    // Shows |text|, below the texts still shown.
    void post(const QString &text);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QStringList lines;
    QTimer hideTimer;
};

#endif // NOTICEBAR_H
