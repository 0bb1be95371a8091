#ifndef NOTIFICATIONAREA_H
#define NOTIFICATIONAREA_H

#include <vector>

#include <QDateTime>
#include <QObject>

#include "desktopnotifier.h"
#include "include/cef_notification_handler.h"

class QFrame;
class QLabel;
class QWidget;

// The page's notifications, shown over the page as a stack of small notices
// at the top right corner of the window that shows the browser, the newest
// on top. Each shows the title, the body, the origin and the time, as plain
// text, and stays until the user or the page closes it. A handful stay on
// screen; the older ones fold into a "+N" notice, which closes them when
// clicked. A notice that is clicked hands the click to the page, brings the
// window to the front and goes. A notification that arrives while the window
// is minimized or not active asks for the user's attention, and every one is
// shown on the desktop too when a notification server runs there.
//
// Notices take no focus and stack above the browser's native window. GUI
// thread only.
class NotificationArea : public QObject
{
public:
    explicit NotificationArea(QWidget *window);

    // Shows |notification|, in the place of one of the same origin and tag.
    void add(CefRefPtr<CefNotification> notification);
    // The page has closed |notification|: its notice goes.
    void closedByPage(CefRefPtr<CefNotification> notification);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry
    {
        quint64 key;
        CefRefPtr<CefNotification> notification;
        QDateTime arrived;
        // Null while folded.
        QFrame *notice;
    };

    QFrame *makeNotice(const Entry &entry);
    // Takes entry |key| off the screen; the page hears `close` when
    // |tellPage|.
    void remove(quint64 key, bool tellPage);
    // What a click on the notice does.
    void activate(quint64 key);
    void closeFolded();
    void place();

    QWidget *window;
    // Oldest first.
    std::vector<Entry> entries;
    QLabel *more;
    DesktopNotifier desktop;
    quint64 nextKey;
    bool attentionAsked;
};

#endif // NOTIFICATIONAREA_H
