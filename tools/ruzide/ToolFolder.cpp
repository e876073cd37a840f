#include "ToolFolder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <vector>

namespace ruzide {
namespace tool {

std::string ToolFolder() {
#ifdef _WIN32
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string p(path, n < sizeof path ? n : 0);
#else
  std::vector<char> path(4096);
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  const std::string p(path.data(), n > 0 ? static_cast<size_t>(n) : 0);
#endif
  const size_t slash = p.find_last_of(kPathSeparator == '\\' ? "\\/" : "/");
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

}  // namespace tool
}  // namespace ruzide
