#ifndef QCEFCLIENTAPP_H
#define QCEFCLIENTAPP_H

#include "include/cef_app.h"

// The application handler of the browser process. The engine calls
// OnBeforeCommandLineProcessing and GetBrowserProcessHandler on the GUI
// thread inside CefInitialize and OnContextInitialized on its browser UI
// thread.
class QCefClientApp : public CefApp, public CefBrowserProcessHandler
{
public:
    QCefClientApp() = default;

    // CefApp methods.
    // The program's own "--webgl" asks the engine for WebGL under a software
    // OpenGL, where it is off by default.
    void OnBeforeCommandLineProcessing(const CefString &processType, CefRefPtr<CefCommandLine> commandLine) override;
    CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override;

    // CefBrowserProcessHandler methods.
    // No browser is created here: the web view asks for its own.
    void OnContextInitialized() override;

private:
    IMPLEMENT_REFCOUNTING(QCefClientApp);
    DISALLOW_COPY_AND_ASSIGN(QCefClientApp);
};

#endif // QCEFCLIENTAPP_H
