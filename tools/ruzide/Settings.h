// The `settings` commands of the ruzide tool: the current-user values of the common
// settings, listed or assigned through the library.
#ifndef RUZIDE_TOOLS_RUZIDE_SETTINGS_H_
#define RUZIDE_TOOLS_RUZIDE_SETTINGS_H_

#include <cstdio>

#include "RuzIde.h"

namespace ruzide {
namespace tool {

// Prints every int value of `tree` to `out`: its setting name (Key.Value), value, whether
// the value came from the store or is the default, its bounds and the key that holds it.
// Returns the process exit status.
int ListSettings(CRDCLg_oRegCmnCUser& tree, FILE* out);

// Assigns `number` to the setting `name` (Key.Value) of `tree` through the library, so
// the value is clamped to its bounds, writes it to the store at once and prints what the
// store then holds. Bad names or numbers and failed writes are reported on `err`.
// Returns the process exit status: 0, 1 when the store refused the write, 2 for bad
// arguments.
int SetSetting(CRDCLg_oRegCmnCUser& tree, const char* name, const char* number, FILE* out,
               FILE* err);

// Follows `tree` while other programs change it and prints to `out` one line for each
// setting whose value changed, "Key.Value: old -> new", until interrupted. A write of the
// value already there prints nothing. Returns only on failure: 1 when the tree's key
// cannot be watched, with the reason on `err`.
int MonitorSettings(CRDCLg_oRegCmnCUser& tree, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_SETTINGS_H_
