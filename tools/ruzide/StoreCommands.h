// The `ruzide store` commands: check, back up and restore a root's embedded store.
#ifndef RUZIDE_TOOLS_RUZIDE_STORECOMMANDS_H_
#define RUZIDE_TOOLS_RUZIDE_STORECOMMANDS_H_

#include <cstdio>
#include <string>
#include <vector>

namespace ruzide {
namespace tool {

extern const char kStoreUsage[];

// Runs `ruzide store <args...>`; returns the exit status.
int StoreCommand(const std::vector<std::string>& args, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_STORECOMMANDS_H_
