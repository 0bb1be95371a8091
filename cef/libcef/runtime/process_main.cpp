#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "libcef/runtime/backend.h"

void CefSetGlobalCommandLine(int argc, const char* const* argv);

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info) {
  (void)windows_sandbox_info;
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromArgv(args.argc, args.argv);
  const CefString process_type = command_line->GetSwitchValue("type");
  if (process_type.empty())
    return -1;
  CefSetGlobalCommandLine(args.argc, args.argv);
  if (application)
    application->OnBeforeCommandLineProcessing(process_type, command_line);

  // Loaded before the QCoreApplication exists, as a linked engine would be:
  // Qt WebEngine then prepares itself in the application's constructor.
  cef::Backend* backend = cef::GetBackend();
  if (!backend)
    return 1;

  // The engine rewrites argv in place to set the process title, so Qt gets a
  // copy of its own, as Qt's helper executable does.
  std::vector<std::string> storage(args.argv, args.argv + args.argc);
  std::vector<char*> qt_argv;
  for (std::string& arg : storage)
    qt_argv.push_back(&arg[0]);
  qt_argv.push_back(nullptr);
  int qt_argc = args.argc;
  std::unique_ptr<QCoreApplication> qt_application;
  if (!QCoreApplication::instance())
    qt_application.reset(new QCoreApplication(qt_argc, qt_argv.data()));
  return backend->ProcessMain(args.argc, const_cast<const char**>(args.argv));
}
