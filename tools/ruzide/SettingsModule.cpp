// The entry of ruzide-settings.so (.dll): the commands that need the library's trees.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Languages.h"
#include "LibraryCommands.h"
#include "RuzIde.h"
#include "SettingCatalog.h"
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
  // The table comes from the local-machine tree: a store it could not read is said, as
  // for the settings listings.
  const int status = ruzide::tool::ListLanguages(*GetCmnLMach(), stdout, stderr);
  const int store = ruzide::tool::ReportStores({ruzide::tool::FindSchema("machine")}, stderr);
  return status != 0 ? status : store;
}
