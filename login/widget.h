#ifndef WIDGET_H
#define WIDGET_H

#include <QWidget>

class QCefWebView;

namespace Ui {
class Widget;
}

// The login window: asks for the server address, user name and password,
// remembers the first two in the settings file, and opens the platform's
// start page in the web view, which it creates hidden at once so that the
// browser is ready by the time the user logs in.
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void on_pushButton_clicked();

private:
    // Not owned: the view deletes itself when its window is closed.
    QCefWebView *webView;
    Ui::Widget *ui;
};

#endif // WIDGET_H
