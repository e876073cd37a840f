// `ruzide reg watch`: follows a key, or a key and the keys below it, and prints each change
// as it happens, until interrupted.
#ifndef RUZIDE_TOOLS_RUZIDE_REGWATCH_H_
#define RUZIDE_TOOLS_RUZIDE_REGWATCH_H_

#include <cstdio>

#include "RegPath.h"

namespace ruzide {
namespace tool {

// Watches `path` (with `subtree`, every key below it too) and prints to `out`, for each
// change any program makes, one line: local time, key, then the value's name, type and
// new data, "(value deleted)", "(key created)" or "(key deleted)". What each change did
// is found by comparing the keys as read before and after it, so a write of the data
// already there prints nothing, and changes that come close together may be printed
// together. While the key itself is deleted, the nearest key above it is watched until
// it is created again. Returns only on failure: 1 when the key cannot be read at the
// start, with the reason on `err`.
int WatchKey(const RegPath& path, bool subtree, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGWATCH_H_
