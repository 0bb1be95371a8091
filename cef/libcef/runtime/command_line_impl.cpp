#include "include/cef_command_line.h"

#include <mutex>

namespace {

std::mutex g_global_lock;
CefRefPtr<CefCommandLine> g_global_command_line;

}  // namespace

// Called by the runtime with the process's own arguments.
void CefSetGlobalCommandLine(int argc, const char* const* argv) {
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromArgv(argc, argv);
  std::lock_guard<std::mutex> lock(g_global_lock);
  g_global_command_line = command_line;
}

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine() {
  return new CefCommandLine();
}

CefRefPtr<CefCommandLine> CefCommandLine::GetGlobalCommandLine() {
  std::lock_guard<std::mutex> lock(g_global_lock);
  return g_global_command_line;
}

CefCommandLine::CefCommandLine() = default;

void CefCommandLine::InitFromArgv(int argc, const char* const* argv) {
  program_.clear();
  argv_.clear();
  switches_.clear();
  arguments_.clear();
  if (argc < 1 || !argv)
    return;
  program_ = argv[0] ? argv[0] : "";
  bool switches_done = false;
  for (int i = 1; i < argc; ++i) {
    if (argv[i])
      ParseArgument(argv[i], &switches_done);
  }
}

void CefCommandLine::ParseArgument(const std::string& arg, bool* switches_done) {
  argv_.push_back(arg);
  if (!*switches_done && arg == "--") {
    // Everything after a lone "--" is an argument, as in Chromium.
    *switches_done = true;
    return;
  }
  size_t prefix = 0;
  if (!*switches_done) {
    if (arg.compare(0, 2, "--") == 0)
      prefix = 2;
    else if (arg.size() > 1 && arg[0] == '-')
      prefix = 1;
  }
  if (prefix == 0 || arg.size() == prefix) {
    arguments_.push_back(arg);
    return;
  }
  const std::string body = arg.substr(prefix);
  const size_t equals = body.find('=');
  if (equals == std::string::npos)
    switches_[body] = std::string();
  else
    switches_[body.substr(0, equals)] = body.substr(equals + 1);
}

CefRefPtr<CefCommandLine> CefCommandLine::Copy() {
  CefRefPtr<CefCommandLine> copy = CreateCommandLine();
  copy->program_ = program_;
  copy->argv_ = argv_;
  copy->switches_ = switches_;
  copy->arguments_ = arguments_;
  return copy;
}

void CefCommandLine::GetArgv(std::vector<CefString>& argv) {
  argv.clear();
  argv.push_back(program_);
  for (const std::string& arg : argv_)
    argv.push_back(arg);
}

CefString CefCommandLine::GetProgram() {
  return program_;
}

void CefCommandLine::SetProgram(const CefString& program) {
  program_ = program.ToString();
}

bool CefCommandLine::HasSwitches() {
  return !switches_.empty();
}

bool CefCommandLine::HasSwitch(const CefString& name) {
  return switches_.count(name.ToString()) != 0;
}

CefString CefCommandLine::GetSwitchValue(const CefString& name) {
  const auto it = switches_.find(name.ToString());
  return it == switches_.end() ? CefString() : CefString(it->second);
}

void CefCommandLine::GetSwitches(SwitchMap& switches) {
  switches.clear();
  for (const auto& entry : switches_)
    switches[CefString(entry.first)] = CefString(entry.second);
}

void CefCommandLine::AppendSwitch(const CefString& name) {
  AppendSwitchWithValue(name, CefString());
}

void CefCommandLine::AppendSwitchWithValue(const CefString& name, const CefString& value) {
  const std::string key = name.ToString();
  const std::string text = value.ToString();
  switches_[key] = text;
  argv_.push_back("--" + key + (text.empty() ? std::string() : "=" + text));
}

bool CefCommandLine::HasArguments() {
  return !arguments_.empty();
}

void CefCommandLine::GetArguments(ArgumentList& arguments) {
  arguments.clear();
  for (const std::string& arg : arguments_)
    arguments.push_back(arg);
}

void CefCommandLine::AppendArgument(const CefString& argument) {
  arguments_.push_back(argument.ToString());
  argv_.push_back(argument.ToString());
}
