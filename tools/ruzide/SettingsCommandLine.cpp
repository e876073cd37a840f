#include "SettingsCommandLine.h"

namespace ruzide {
namespace tool {

const char kSettingsUsage[] =
    "Usage: ruzide settings [list [<schema>]] [--json]\n"
    "       ruzide settings get <name> [--json]\n"
    "       ruzide settings set <name> <value>\n"
    "       ruzide settings reset <name>\n"
    "       ruzide settings reset --all <schema>\n"
    "       ruzide settings describe <name> [--json]\n"
    "       ruzide settings monitor [<schema>]\n"
    "\n"
    "The settings are the values of declared trees. Each tree is a schema: the library's\n"
    "'user' (HKEY_CURRENT_USER) and 'machine' (HKEY_LOCAL_MACHINE), and each application's\n"
    "installed schema file (<name>.schema in the folders of RUZIDE_SCHEMA_PATH, then in\n"
    "<prefix>/share/ruzide/schemas). A setting's name is its key below the schema's\n"
    "base, a dot, the value's name: Regional.Date, or user:Regional.Date to name the\n"
    "schema too; names and schemas match in any letter case.\n"
    "\n"
    "  list      every setting: value, its source, bounds, key\n"
    "  get       the value alone, for scripts: x=$(ruzide settings get Regional.Date)\n"
    "  set       assign as an application does: numbers are clamped to the bounds (the\n"
    "            line printed says so), strings are given in UTF-8; written at once\n"
    "  reset     delete the stored value, so the default applies\n"
    "  describe  type, default, bounds and how they compare, summary, key, value, source\n"
    "  monitor   print '<name>: old -> new' for each setting of the schema (by default\n"
    "            'user') that another program changes, until Ctrl-C\n"
    "\n"
    "Numbers are decimal or hexadecimal with 0x; a list's strings are separated by the\n"
    "two characters \\0; a binary value is given as hexadecimal bytes, all of them.\n"
    "Exit status: 0; 1 when a store could not be read or written; 2 for a bad command\n"
    "line, schema, name or value (then nothing is written).\n";

namespace {

// The operands each verb takes, and its synopsis for the error.
const struct {
  const char* verb;
  size_t min, max;
  bool json;
  const char* usage;
} kVerbs[] = {
    {"list", 0, 1, true, "usage: ruzide settings list [<schema>] [--json]"},
    {"get", 1, 1, true, "usage: ruzide settings get <name> [--json]"},
    {"describe", 1, 1, true, "usage: ruzide settings describe <name> [--json]"},
    {"set", 2, 2, false, "usage: ruzide settings set <name> <value>"},
    {"reset", 1, 2, false, "usage: ruzide settings reset <name> | --all <schema>"},
    {"monitor", 0, 1, false, "usage: ruzide settings monitor [<schema>]"},
};

}  // namespace

std::string ParseSettingsCommandLine(const std::vector<std::string>& all,
                                     SettingsCommandLine* out) {
  *out = SettingsCommandLine();
  for (const std::string& a : all) {
    if (a == "--json") {
      out->json = true;
    } else if (a == "--help" || a == "-h" || a == "/?") {
      out->help = true;
    } else {
      out->args.push_back(a);
    }
  }
  if (out->help) return "";
  if (out->args.empty()) out->args.push_back("list");
  const std::vector<std::string>& args = out->args;
  for (const auto& v : kVerbs) {
    if (args[0] != v.verb) continue;
    const size_t operands = args.size() - 1;
    bool ok = operands >= v.min && operands <= v.max;
    // reset takes one name, or --all and a schema.
    if (args[0] == "reset") ok = operands == 1 ? args[1] != "--all" : ok && args[1] == "--all";
    if (!ok) return v.usage;
    if (out->json && !v.json) return "--json is for list, get and describe";
    return "";
  }
  return "unknown settings command '" + args[0] + "'";
}

}  // namespace tool
}  // namespace ruzide
