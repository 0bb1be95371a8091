// Finding the engine module's entry point: platform code, one file per
// platform (engine_module_linux.cpp).
#ifndef CEF_LIBCEF_RUNTIME_ENGINE_MODULE_H_
#define CEF_LIBCEF_RUNTIME_ENGINE_MODULE_H_
#pragma once

#include <string>

namespace cef {

///
/// The address of the engine module's function |name|: taken from the
/// process when the executable links the module, otherwise from the module
/// file |file_name| in the executable's directory, which is loaded for it.
/// Returns null and says why in |error| when neither works.
///
void* FindEngineModuleFunction(const char* name, const char* file_name, std::string* error);

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_ENGINE_MODULE_H_
