#include "platform/registry/KeyPath.h"

#include <cstring>

namespace ruzide::registry {

LONG SplitKeyPath(const char* path, std::vector<std::string_view>* names) {
  names->clear();
  if (path == nullptr || *path == '\0') return ERROR_SUCCESS;
  if (*path == '\\') return ERROR_BAD_PATHNAME;
  // Every open splits a path, so the scans are the library's own (strlen, memchr), and
  // one allocation holds the names of any usual path.
  names->reserve(8);
  const char* p = path;
  const char* end = path + std::strlen(path);
  while (p < end) {
    const char* stop = static_cast<const char*>(std::memchr(p, '\\', end - p));
    if (stop == nullptr) stop = end;
    size_t length = static_cast<size_t>(stop - p);
    if (length > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names->emplace_back(p, length);
    for (p = stop; p < end && *p == '\\';) ++p;
  }
  return ERROR_SUCCESS;
}

}  // namespace ruzide::registry
