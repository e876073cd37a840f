// ruzide: shows and changes the settings the Brackenfield applications share, through
// the RuzIde library, as any of those applications sees them; and any registry key
// through the registry functions alone.
//
//   ruzide settings                          the current-user values
//   ruzide settings set <Key>.<Value> <n>    assign one of them (clamped to its bounds)
//   ruzide settings monitor                  print each change other programs make
//   ruzide languages                         the installed user-interface languages
//   ruzide reg <command> ...                 registry keys and values, as reg.exe shows them
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Languages.h"
#include "RegCommands.h"
#include "RuzIde.h"
#include "Settings.h"

#ifndef _WIN32
#include "platform/registry/RegistryStore.h"
#endif

namespace {

using ruzide::tool::kExitFailure;
using ruzide::tool::kExitOk;
using ruzide::tool::kExitUsage;

const char kUsage[] =
    "Usage: ruzide <command> [arguments]\n"
    "\n"
    "Shows and changes the settings the Brackenfield applications share, through the\n"
    "RuzIde library.\n"
    "\n"
    "Commands:\n"
    "  settings                         list the current-user settings: value, whether it\n"
    "                                   comes from the store or is the default, bounds, key\n"
    "  settings set <Key>.<Value> <n>   assign n to a current-user setting, for example\n"
    "                                   'settings set Regional.Date 2'; the library clamps\n"
    "                                   it to the setting's bounds, the tool writes it to\n"
    "                                   the store and prints the value stored. n is decimal\n"
    "                                   or hexadecimal with 0x\n"
    "  settings monitor                 print 'Key.Value: old -> new' for each current-user\n"
    "                                   setting another program changes, until Ctrl-C\n"
    "  languages                        list the installed user-interface languages: slot,\n"
    "                                   language identifier, language character and\n"
    "                                   description\n"
    "  reg query|add|delete|export|import ...\n"
    "                                   look at and change any key and value of the\n"
    "                                   registry through the registry functions, and\n"
    "                                   export or import .reg files; see 'ruzide reg --help'\n"
    "  help, --help, -h                 show this text\n"
    "\n"
    "Environment:\n"
    "  RUZIDE_REGISTRY           folder of the registry store (both roots)\n"
    "  RUZIDE_REGISTRY_READONLY  roots this process must not write, comma-separated\n"
    "                            (HKEY_CURRENT_USER or HKCU, HKEY_LOCAL_MACHINE or HKLM);\n"
    "                            any other name is refused\n"
    "\n"
    "Exit status: 0 on success, 1 when the request could not be carried out, 2 for a bad\n"
    "command line.\n";

int Usage(const char* text, FILE* to, int status) {
  fputs(text, to);
  return status;
}

int BadUsage(const char* what, const char* arg) {
  fprintf(stderr, "ruzide: %s%s%s%s\n", what, arg ? " '" : "", arg ? arg : "", arg ? "'" : "");
  fprintf(stderr, "Try 'ruzide --help'.\n");
  return kExitUsage;
}

bool IsHelp(const char* arg) {
  return strcmp(arg, "help") == 0 || strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0;
}

// Both trees are built when the library loads; a null accessor means it never attached.
bool Attached() {
  if (GetCmnCUser() && GetCmnLMach()) return true;
  fprintf(stderr, "ruzide: the RuzIde library did not attach; no settings to show\n");
  return false;
}

int Settings(int argc, char** argv) {
  if (argc == 2)
    return Attached() ? ruzide::tool::ListSettings(*GetCmnCUser(), stdout) : kExitFailure;
  if (strcmp(argv[2], "monitor") == 0) {
    if (argc != 3) return BadUsage("'settings monitor' takes no arguments", nullptr);
    if (!Attached()) return kExitFailure;
    return ruzide::tool::MonitorSettings(*GetCmnCUser(), stdout, stderr);
  }
  if (strcmp(argv[2], "set") != 0) return BadUsage("unknown settings command", argv[2]);
  if (argc != 5) return BadUsage("usage: ruzide settings set <Key>.<Value> <number>", nullptr);
  if (!Attached()) return kExitFailure;
  return ruzide::tool::SetSetting(*GetCmnCUser(), argv[3], argv[4], stdout, stderr);
}

int Languages(int argc) {
  if (argc != 2) return BadUsage("'languages' takes no arguments", nullptr);
  return Attached() ? ruzide::tool::ListLanguages(*GetCmnLMach(), stdout, stderr) : kExitFailure;
}

// Needs nothing of the library's trees: the reg commands work when it did not attach.
int Reg(int argc, char** argv) {
  if (argc == 2) return Usage(ruzide::tool::kRegUsage, stderr, kExitUsage);
  if (IsHelp(argv[2])) return Usage(ruzide::tool::kRegUsage, stdout, kExitOk);
  return ruzide::tool::RegCommand(std::vector<std::string>(argv + 2, argv + argc), stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(kUsage, stderr, kExitUsage);
  const char* command = argv[1];
  if (IsHelp(command)) return Usage(kUsage, stdout, kExitOk);
#ifndef _WIN32
  // The store ignores a name it does not know; the tool refuses it, since a misspelt
  // root would leave writable what the user meant to protect.
  const std::string unknown = ruzide::registry::UnknownReadOnlyRoot();
  if (!unknown.empty()) {
    fprintf(stderr,
            "ruzide: RUZIDE_REGISTRY_READONLY names no root: '%s' (known: HKEY_CURRENT_USER, "
            "HKCU, HKEY_LOCAL_MACHINE, HKLM)\n",
            unknown.c_str());
    return kExitUsage;
  }
#endif
  if (strcmp(command, "settings") == 0) return Settings(argc, argv);
  if (strcmp(command, "languages") == 0) return Languages(argc);
  if (strcmp(command, "reg") == 0) return Reg(argc, argv);
  return BadUsage("unknown command", command);
}
