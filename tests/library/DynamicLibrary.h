// Loading a library at run time and looking up its symbols, the same way on Windows
// (LoadLibraryA, GetProcAddress, FreeLibrary) and elsewhere (dlopen, dlsym, dlclose), for
// the lifetime host and probe.
#ifndef RUZIDE_TESTS_LIBRARY_DYNAMICLIBRARY_H_
#define RUZIDE_TESTS_LIBRARY_DYNAMICLIBRARY_H_

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>

namespace ruzide {
namespace test {

#ifdef _WIN32
typedef HMODULE LibraryHandle;

// Loads `path` and runs its initialisers; null, after saying why on stderr, on failure.
inline LibraryHandle OpenLibrary(const char* path) {
  HMODULE library = LoadLibraryA(path);
  if (!library) fprintf(stderr, "LoadLibraryA(%s): error %lu\n", path, GetLastError());
  return library;
}
// Unloads it, running its finalisers; false if the platform refused.
inline bool CloseLibrary(LibraryHandle library) { return FreeLibrary(library) != 0; }
// The address of an exported function or object; null if there is none.
inline void* LookUp(LibraryHandle library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}
// The address of a function the program itself exports.
inline void* LookUpInProgram(const char* name) { return LookUp(GetModuleHandleA(nullptr), name); }
#else
typedef void* LibraryHandle;

inline LibraryHandle OpenLibrary(const char* path) {
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library) fprintf(stderr, "dlopen: %s\n", dlerror());
  return library;
}
inline bool CloseLibrary(LibraryHandle library) { return dlclose(library) == 0; }
inline void* LookUp(LibraryHandle library, const char* name) { return dlsym(library, name); }
inline void* LookUpInProgram(const char* name) { return dlsym(RTLD_DEFAULT, name); }
#endif

}  // namespace test
}  // namespace ruzide

#endif  // RUZIDE_TESTS_LIBRARY_DYNAMICLIBRARY_H_
