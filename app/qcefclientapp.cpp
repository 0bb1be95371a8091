#include "qcefclientapp.h"

#include "include/wrapper/cef_helpers.h"

void QCefClientApp::OnBeforeCommandLineProcessing(const CefString &processType, CefRefPtr<CefCommandLine> commandLine)
{
    // Under a software OpenGL, WebGL would have the view drawn through that
    // OpenGL, which costs video more than twice the CPU; so the operator
    // chooses it. On a GPU it is there anyway and the switch changes nothing.
    if (processType.empty() && commandLine->HasSwitch("webgl"))
        commandLine->AppendSwitch("enable-software-webgl");
}

CefRefPtr<CefBrowserProcessHandler> QCefClientApp::GetBrowserProcessHandler()
{
    return this;
}

void QCefClientApp::OnContextInitialized()
{
    CEF_REQUIRE_UI_THREAD();
}
