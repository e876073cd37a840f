#include "LibraryCommands.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "ToolFolder.h"

namespace ruzide {
namespace tool {

namespace {

#ifdef _WIN32
const char kModule[] = "ruzide-settings.dll";
void* Load(const std::string& path, std::string* why) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) *why = path + ": error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}

RuzideLibraryCommandFn Entry(void* module) {
  return reinterpret_cast<RuzideLibraryCommandFn>(
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), RUZIDE_COMMANDS_ENTRY)));
}
#else
const char kModule[] = "ruzide-settings.so";
void* Load(const std::string& path, std::string* why) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) *why = dlerror();
  return module;
}

RuzideLibraryCommandFn Entry(void* module) {
  return reinterpret_cast<RuzideLibraryCommandFn>(dlsym(module, RUZIDE_COMMANDS_ENTRY));
}
#endif

}  // namespace

int RunLibraryCommand(int argc, char** argv) {
  const std::string folder = ToolFolder();
  std::string why;
  void* module = nullptr;
  for (const std::string& dir : {folder, folder + kPathSeparator + ".." + kPathSeparator +
                                             RUZIDE_INSTALL_LIBDIR + kPathSeparator + "ruzide"}) {
    std::string this_why;
    module = Load(dir + kPathSeparator + kModule, &this_why);
    if (module) break;
    if (why.empty()) why = this_why;
  }
  RuzideLibraryCommandFn entry = module ? Entry(module) : nullptr;
  if (!entry) {
    fprintf(stderr, "ruzide: cannot load the settings module %s: %s\n", kModule,
            module ? "no entry " RUZIDE_COMMANDS_ENTRY : why.c_str());
    return kExitFailure;
  }
  // The module, and with it the library, stays loaded until the process exits, so that
  // the library writes back and closes its stores as it does in any application.
  return entry(argc, argv);
}

}  // namespace tool
}  // namespace ruzide
