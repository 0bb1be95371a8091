#include <cstdio>

#include <QApplication>

#include "include/cef_app.h"
#include "initcef.h"
#include "issubprocess.h"
#include "mainargs.h"
#include "removedir.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    if (isSubProcess(argc, argv)) {
        std::fputs("subprocess\n", stdout);
        std::fflush(stdout);
        const CefMainArgs mainArgs = processMainArgs(argc, argv);
        return CefExecuteProcess(mainArgs, nullptr, nullptr);
    }

    // The engine shares OpenGL contexts with Qt, which must know before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    removeDir(QString::fromUtf8(cacheDirName));

    const int exitCode = initCef(argc, argv);
    if (exitCode >= 0)
        return exitCode;

    Widget window;
    app.exec();
    CefShutdown();
    return 0;
}
