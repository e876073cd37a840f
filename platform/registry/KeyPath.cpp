#include "platform/registry/KeyPath.h"

namespace ruzide::registry {

LONG SplitKeyPath(const char* path, std::vector<std::string_view>* names) {
  names->clear();
  if (path == nullptr || *path == '\0') return ERROR_SUCCESS;
  if (*path == '\\') return ERROR_BAD_PATHNAME;
  // One allocation for the names, rather than one each time the vector grows.
  size_t separators = 0;
  for (const char* s = path; *s != '\0'; ++s) separators += *s == '\\';
  names->reserve(separators + 1);
  const char* p = path;
  while (*p != '\0') {
    const char* start = p;
    while (*p != '\0' && *p != '\\') ++p;
    size_t length = static_cast<size_t>(p - start);
    if (length > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names->emplace_back(start, length);
    while (*p == '\\') ++p;
  }
  return ERROR_SUCCESS;
}

}  // namespace ruzide::registry
