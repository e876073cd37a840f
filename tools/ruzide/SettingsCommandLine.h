// The command line of `ruzide settings`, read before anything is loaded: the tool
// checks it, and answers --help, without the library, whose loading creates the stores
// and the trees' keys; the settings module then reads it again to run it.
#ifndef RUZIDE_TOOLS_RUZIDE_SETTINGSCOMMANDLINE_H_
#define RUZIDE_TOOLS_RUZIDE_SETTINGSCOMMANDLINE_H_

#include <string>
#include <vector>

namespace ruzide {
namespace tool {

struct SettingsCommandLine {
  std::vector<std::string> args;  // the verb ("list" when none was given), its operands
  bool json = false;              // --json
  bool help = false;              // --help, -h or /?
};

// Reads the arguments after `settings` into `out`: the empty text when they are well
// formed (a known verb with the operands it takes), else a one-line error.
std::string ParseSettingsCommandLine(const std::vector<std::string>& all, SettingsCommandLine* out);

extern const char kSettingsUsage[];

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_SETTINGSCOMMANDLINE_H_
