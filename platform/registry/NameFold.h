// Case folding of key and value names.
//
// The registry matches names without regard to letter case but keeps the case they were
// created with. The store keeps both forms: the name as given, and its folded form, which
// is what lookups compare and what enumeration sorts by.
#ifndef RUZIDE_PLATFORM_REGISTRY_NAMEFOLD_H_
#define RUZIDE_PLATFORM_REGISTRY_NAMEFOLD_H_

#include <string>
#include <string_view>

namespace ruzide::registry {

// Returns `name` with the ASCII letters a-z upper-cased and every other byte unchanged.
//
// Upper case, as the registry folds, so that '_' and the other characters between 'Z' and
// 'a' sort after the letters. Bytes from 0x80 up are left alone: names arrive in the
// process's multibyte code page, which the store does not know, and folding them could
// make two different double-byte characters equal. The result depends on nothing but
// the bytes, so every process agrees on it.
std::string FoldName(std::string_view name);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_NAMEFOLD_H_
