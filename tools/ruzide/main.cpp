// ruzide: shows and changes the settings the Brackenfield applications share, through
// the RuzIde library, as any of those applications sees them; and any registry key
// through the registry functions alone.
//
//   ruzide settings [list|get|set|reset|describe|monitor] ...   the declared settings
//   ruzide languages                         the installed user-interface languages
//   ruzide reg <command> ...                 registry keys and values, as reg.exe shows them
//   ruzide store check|backup|restore ...    care of the embedded store
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "LibraryCommands.h"
#include "RegCommands.h"
#include "SettingsCommandLine.h"
#include "StoreCommands.h"

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
    "  settings [list [<schema>]]       list every declared setting of the library's\n"
    "                                   trees: value, its source, bounds,\n"
    "                                   key; --json for a script\n"
    "  settings get|set|reset|describe  read, assign (clamped to the bounds), reset to the\n"
    "                                   default, or describe one setting; see\n"
    "                                   'ruzide settings --help'\n"
    "  settings monitor [<schema>]      print each change other programs make, until\n"
    "                                   Ctrl-C\n"
    "  languages                        list the installed user-interface languages: slot,\n"
    "                                   language identifier, language character and\n"
    "                                   description\n"
    "  reg query|add|delete|export|import ...\n"
    "                                   look at and change any key and value of the\n"
    "                                   registry through the registry functions, and\n"
    "                                   export or import .reg files; also copy, compare\n"
    "                                   and search keys; see 'ruzide reg --help'\n"
    "  store check [<root>]             check a root's store (both if none is named)\n"
    "  store backup|restore <root> <file>\n"
    "                                   back the store of a root up to a file, or restore\n"
    "                                   it from one, while programs use it; see\n"
    "                                   'ruzide store --help'\n"
    "  help, --help, -h                 show this text\n"
    "  --version                        show the version\n"
    "\n"
    "Environment:\n"
    "  RUZIDE_REGISTRY           folder of the registry store (both roots)\n"
    "  RUZIDE_REGISTRY_READONLY  roots this process must not write, comma-separated\n"
    "                            (HKEY_CURRENT_USER or HKCU, HKEY_LOCAL_MACHINE or HKLM);\n"
    "                            any other name is refused\n"
    "  RUZIDE_SCHEMA_PATH        folders searched for settings schemas (<name>.schema)\n"
    "                            before <prefix>/share/ruzide/schemas; ':'-separated\n"
    "                            (';' on Windows)\n"
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

// Needs nothing of the library: the reg commands go to the registry functions alone.
int Reg(int argc, char** argv) {
  // 1, as Windows' reg answers every failure (see RegCommand).
  if (argc == 2) return Usage(ruzide::tool::kRegUsage, stderr, kExitFailure);
  if (IsHelp(argv[2]) || strcmp(argv[2], "/?") == 0) {
    return Usage(ruzide::tool::kRegUsage, stdout, kExitOk);
  }
  return ruzide::tool::RegCommand(std::vector<std::string>(argv + 2, argv + argc), stdout, stderr);
}

int Store(int argc, char** argv) {
  if (argc == 2) return Usage(ruzide::tool::kStoreUsage, stderr, kExitUsage);
  if (IsHelp(argv[2])) return Usage(ruzide::tool::kStoreUsage, stdout, kExitOk);
  return ruzide::tool::StoreCommand(std::vector<std::string>(argv + 2, argv + argc), stdout,
                                    stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(kUsage, stderr, kExitUsage);
  const char* command = argv[1];
  if (IsHelp(command)) return Usage(kUsage, stdout, kExitOk);
  if (strcmp(command, "--version") == 0) {
    printf("ruzide %s\n", RUZIDE_VERSION);
    return kExitOk;
  }
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
  if (strcmp(command, "settings") == 0 || strcmp(command, "languages") == 0) {
    // Checked, and help given, before the library is loaded: that creates the stores.
    ruzide::tool::SettingsCommandLine line;
    const std::string error =
        strcmp(command, "languages") == 0
            ? (argc == 2 ? "" : "'languages' takes no arguments")
            : ruzide::tool::ParseSettingsCommandLine({argv + 2, argv + argc}, &line);
    if (!error.empty()) {
      fprintf(stderr, "ruzide: %s\nTry '%s --help'.\n", error.c_str(),
              strcmp(command, "languages") == 0 ? "ruzide" : "ruzide settings");
      return kExitUsage;
    }
    if (line.help) return Usage(ruzide::tool::kSettingsUsage, stdout, kExitOk);
    return ruzide::tool::RunLibraryCommand(argc, argv);
  }
  if (strcmp(command, "reg") == 0) return Reg(argc, argv);
  if (strcmp(command, "store") == 0) return Store(argc, argv);
  return BadUsage("unknown command", command);
}
