#include <cstdio>

#include <QApplication>

#include "cachedirlock.h"
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

    // Another copy of the program running in this directory owns ".cache":
    // this one leaves it alone and keeps its browser data in memory.
    const QString cacheDir = QString::fromUtf8(cacheDirName);
    const CacheDirLock cacheLock(cacheDir);
    if (cacheLock.isOwner())
        removeDir(cacheDir);

    const int exitCode = initCef(argc, argv, cacheLock.isOwner() ? cacheDir : QString());
    if (exitCode >= 0)
        return exitCode;

    Widget window;
    app.exec();
    CefShutdown();
    return 0;
}
