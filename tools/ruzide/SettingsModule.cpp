// The entry of ruzide-settings.so (.dll): the commands that need the library's trees.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Languages.h"
#include "LibraryCommands.h"
#include "RuzIde.h"
#include "Settings.h"

namespace {

using ruzide::tool::kExitFailure;

// Both trees are built when the library loads; a null accessor means it never attached.
bool Attached() {
  if (GetCmnCUser() && GetCmnLMach()) return true;
  fprintf(stderr, "ruzide: the RuzIde library did not attach; no settings to show\n");
  return false;
}

}  // namespace

RUZIDE_COMMANDS_EXPORT int RuzideLibraryCommand(int argc, char** argv) {
  if (!Attached()) return kExitFailure;
  if (strcmp(argv[1], "settings") == 0) {
    return ruzide::tool::SettingsCommand(std::vector<std::string>(argv + 2, argv + argc), stdout,
                                         stderr);
  }
  return ruzide::tool::ListLanguages(*GetCmnLMach(), stdout, stderr);
}
