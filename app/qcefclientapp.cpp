#include "qcefclientapp.h"

#include "include/wrapper/cef_helpers.h"

CefRefPtr<CefBrowserProcessHandler> QCefClientApp::GetBrowserProcessHandler()
{
    return this;
}

void QCefClientApp::OnContextInitialized()
{
    CEF_REQUIRE_UI_THREAD();
}
