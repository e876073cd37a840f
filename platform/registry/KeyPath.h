// Parsing of the sub-paths given to RegOpenKeyExA, RegCreateKeyExA and RegDeleteKeyA.
#ifndef RUZIDE_PLATFORM_REGISTRY_KEYPATH_H_
#define RUZIDE_PLATFORM_REGISTRY_KEYPATH_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"

namespace ruzide::registry {

// The registry's documented limits.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr int kMaxKeyDepth = 512;

// Splits `path` into the key names it walks through, in order, as views into `path`.
//
// A null or empty path names the key itself and yields no names. Names are separated by
// one or more backslashes, and trailing backslashes are ignored, so "a\\\\b\\" is "a", "b".
// Returns ERROR_BAD_PATHNAME when the path begins with a backslash (a lone "\\"
// included), ERROR_INVALID_PARAMETER when a name is longer than kMaxKeyNameLength, and
// ERROR_SUCCESS otherwise.
LONG SplitKeyPath(const char* path, std::vector<std::string_view>* names);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_KEYPATH_H_
