#include <cstdio>

#include <QApplication>
#include <QStandardPaths>
#include <QThreadPool>

#include "cachedirlock.h"
#include "downloadfiles.h"
#include "filenameencoding.h"
#include "include/cef_app.h"
#include "initcef.h"
#include "issubprocess.h"
#include "mainargs.h"
#include "removedir.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    useUtf8FileNamesInPlainLocale();
    if (isSubProcess(argc, argv)) {
        std::fputs("subprocess\n", stdout);
        std::fflush(stdout);
        const CefMainArgs mainArgs = processMainArgs(argc, argv);
        return CefExecuteProcess(mainArgs, nullptr, nullptr);
    }

    // No shared OpenGL context is asked for here: the engine makes Qt's when
    // it loads, after the login window has painted, rather than holding the
    // window back while OpenGL starts. On a high-density screen windows and
    // pages are scaled up, so that every size stays what it is in logical
    // pixels.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);

    // ".cache" is used only when it is this program's: created by it (the
    // marker says so) and not in use by another copy running in this
    // directory. Otherwise browser data stays in memory and ".cache" is left
    // alone.
    const QString cacheDir = QString::fromUtf8(cacheDirName);
    const CacheDirLock cacheLock(cacheDir);
    if (cacheLock.isOwner())
        removeDir(cacheDir);
    const bool ownCache = cacheLock.isOwner() && createMarkedDir(cacheDir);

    // What downloads of a copy that crashed or was killed left behind goes,
    // off the GUI thread: the download directory may be slow to list.
    QThreadPool::globalInstance()->start(
        [] { sweepDownloadLeftovers(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)); });

    const int exitCode = initCef(argc, argv, ownCache ? cacheDir : QString());
    if (exitCode >= 0)
        return exitCode;

    Widget window;
    // Not 0 when the engine could not be loaded.
    const int status = app.exec();
    CefShutdown();
    return status;
}
