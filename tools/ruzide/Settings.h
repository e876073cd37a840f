// The `settings` commands of the ruzide tool: every value of the library's declared trees
// (the schemas), listed, read, assigned, reset and described through the library.
#ifndef RUZIDE_TOOLS_RUZIDE_SETTINGS_H_
#define RUZIDE_TOOLS_RUZIDE_SETTINGS_H_

#include <cstdio>
#include <string>
#include <vector>

namespace ruzide {
namespace tool {

// Runs `ruzide settings <args>` (args without "settings"): list, get, set, reset,
// describe, monitor, --help. Output to `out`, errors and warnings to `err`. Returns the process
// exit status: 0; 1 when a store could not be read or written; 2 for a bad command line
// or an unknown schema, setting or value, in which case nothing is written.
int SettingsCommand(const std::vector<std::string>& args, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_SETTINGS_H_
