#include "initcef.h"

#include "include/cef_app.h"
#include "mainargs.h"
#include "qcefclientapp.h"

const char cacheDirName[] = ".cache";

int initCef(int &argc, char *argv[], const QString &cacheDir)
{
    const CefMainArgs mainArgs = processMainArgs(argc, argv);
    CefRefPtr<CefApp> app(new QCefClientApp);

    const int exitCode = CefExecuteProcess(mainArgs, app, nullptr);
    if (exitCode >= 0)
        return exitCode;

    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    CefString(&settings.cache_path).FromString(cacheDir.toStdString());
    settings.log_severity = LOGSEVERITY_DISABLE;
    settings.no_sandbox = 1;

    CefInitialize(mainArgs, settings, app, nullptr);

    cef_string_clear(&settings.cache_path);
    return -1;
}
