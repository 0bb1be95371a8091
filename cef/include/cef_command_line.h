// A process command line, read the way Chromium reads it.
#ifndef CEF_INCLUDE_CEF_COMMAND_LINE_H_
#define CEF_INCLUDE_CEF_COMMAND_LINE_H_
#pragma once

#include <map>
#include <string>
#include <vector>

#include "include/cef_base.h"

///
/// A command line of switches and arguments. Switches start with "--" or "-",
/// may carry a value after "=", and are case-sensitive; a lone "--" ends the
/// switches. Not thread-safe: one thread at a time.
///
class CefCommandLine : public virtual CefBaseRefCounted {
 public:
  typedef std::vector<CefString> ArgumentList;
  typedef std::map<CefString, CefString> SwitchMap;

  ///
  /// Creates a new, empty command line. Any thread.
  ///
  static CefRefPtr<CefCommandLine> CreateCommandLine();

  ///
  /// Returns the command line of this process as it was started, or null
  /// before the engine has seen it.
  ///
  static CefRefPtr<CefCommandLine> GetGlobalCommandLine();

  CefCommandLine();
  CefCommandLine(const CefCommandLine&) = delete;
  CefCommandLine& operator=(const CefCommandLine&) = delete;

  ///
  /// Replaces the contents with |argv|; argv[0] is the program.
  ///
  void InitFromArgv(int argc, const char* const* argv);

  /// Returns a copy of this command line.
  CefRefPtr<CefCommandLine> Copy();
  /// Returns the original argv, switches in the order they were added.
  void GetArgv(std::vector<CefString>& argv);
  CefString GetProgram();
  void SetProgram(const CefString& program);
  bool HasSwitches();
  bool HasSwitch(const CefString& name);
  /// Returns the value of |name|, empty when the switch has none or is absent.
  CefString GetSwitchValue(const CefString& name);
  void GetSwitches(SwitchMap& switches);
  void AppendSwitch(const CefString& name);
  void AppendSwitchWithValue(const CefString& name, const CefString& value);
  bool HasArguments();
  void GetArguments(ArgumentList& arguments);
  void AppendArgument(const CefString& argument);

 private:
  void ParseArgument(const std::string& arg, bool* switches_done);

  std::string program_;
  std::vector<std::string> argv_;
  std::map<std::string, std::string> switches_;
  std::vector<std::string> arguments_;

  IMPLEMENT_REFCOUNTING(CefCommandLine);
};

#endif  // CEF_INCLUDE_CEF_COMMAND_LINE_H_
