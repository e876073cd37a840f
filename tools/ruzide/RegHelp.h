// The help of each reg command, as `ruzide reg <command> /?` prints it: the synopsis on
// the first line, then what the command does, then each operand and option, in the shape
// Windows' reg command answers `/?` in, so that its users find their way.
#ifndef RUZIDE_TOOLS_RUZIDE_REGHELP_H_
#define RUZIDE_TOOLS_RUZIDE_REGHELP_H_

#include <string>

namespace ruzide {
namespace tool {

// The help of reg command `command` ("query", ...), or null for a command it has none for.
const char* RegCommandHelp(const std::string& command);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGHELP_H_
