#include "libcef/runtime/engine_module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace cef {

void* FindEngineModuleFunction(const char* name, const char* file_name, std::string* error) {
  if (void* function = dlsym(RTLD_DEFAULT, name))
    return function;

  char executable[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", executable, sizeof(executable) - 1);
  if (length <= 0) {
    *error = "the executable's path is unknown";
    return nullptr;
  }
  std::string path(executable, static_cast<size_t>(length));
  path = path.substr(0, path.rfind('/') + 1) + file_name;

  // The module's references to the runtime resolve against the executable,
  // which exports its symbols for it.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    *error = reason ? reason : path + " cannot be loaded";
    return nullptr;
  }
  void* function = dlsym(handle, name);
  if (!function)
    *error = path + " has no " + name;
  return function;
}

}  // namespace cef
