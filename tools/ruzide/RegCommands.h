// The `reg` commands of the ruzide tool: query, add, delete, export and import registry
// keys and values through the ten registry functions alone, as Windows' reg command does,
// so that the store can be inspected, repaired and scripted without going around it.
#ifndef RUZIDE_TOOLS_RUZIDE_REGCOMMANDS_H_
#define RUZIDE_TOOLS_RUZIDE_REGCOMMANDS_H_

#include <cstdio>
#include <string>
#include <vector>

namespace ruzide {
namespace tool {

// The help text of the reg commands.
extern const char kRegUsage[];

// Runs `ruzide reg <args>`: `args` are the words after "reg", starting with the command.
// Prints listings and exported files to `out`, errors to `err`, and returns the process
// exit status.
int RegCommand(const std::vector<std::string>& args, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGCOMMANDS_H_
