// Baseline for the page and memory benchmarks: the least a Qt WebEngine
// program does to show a page in a maximized window.
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QWebEngineView view;
    view.load(QUrl(QString::fromLocal8Bit(argv[1])));
    view.showMaximized();
    return app.exec();
}
