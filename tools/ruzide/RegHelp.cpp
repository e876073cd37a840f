#include "RegHelp.h"

namespace ruzide {
namespace tool {

namespace {

#define RUZIDE_KEY_HELP_                                                      \
  "  <KEY>\n"                                                                 \
  "     ROOT\\Subkey, where ROOT is one of\n"                                 \
  "\n"                                                                        \
  "         HKEY_CURRENT_USER  | HKCU\n"                                      \
  "         HKEY_LOCAL_MACHINE | HKLM\n"                                      \
  "\n"                                                                        \
  "     in any letter case, and Subkey the path of a key below it; runs of\n" \
  "     backslashes count as one. Quote it for the shell.\n"                  \
  "\n"

#define RUZIDE_VALUE_HELP_(verb)                        \
  "  /v <name>\n"                                       \
  "     The value to " verb                             \
  ", by name (letter case of ASCII aside).\n"           \
  "\n"                                                  \
  "  /ve\n"                                             \
  "     The key's unnamed value, shown as (Default).\n" \
  "\n"

// clang-format off
const struct {
  const char* command;
  const char* help;
} kHelp[] = {
    {"query",
     "ruzide reg query <KEY> [/v <name> | /ve] [/s] [/t <types>] [/se <char>] [/z]\n"
     "                 [/f <pattern> [/k] [/v] [/d] [/c] [/e]]\n"
     "\n"
     "  Shows the key, each of its values (name, type, data) and the full paths of its\n"
     "  subkeys, laid out as Windows' reg lays them out. With [/s] every key below\n"
     "  follows, parents before their subkeys. With [/v] or [/ve] only that value is\n"
     "  shown, with [/s] in every key that has it. With [/f] it searches instead, and\n"
     "  shows what matches.\n"
     "\n"
     RUZIDE_KEY_HELP_
     RUZIDE_VALUE_HELP_("show")
     "  /s\n"
     "     Shows (searches) the keys below <KEY> too, all the way down.\n"
     "\n"
     "  /f <pattern>\n"
     "     Searches for the pattern, * and ? as wildcards, in part of a name or\n"
     "     data and in any letter case, unless [/e] (whole) or [/c] (exact case).\n"
     "     [/k] key names, [/v] value names, [/d] data; all three when none is\n"
     "     given.\n"
     "\n"
     "  /t <types>\n"
     "     Only values of these types, separated by commas.\n"
     "\n"
     "  /se <char>\n"
     "     The separator of REG_MULTI_SZ strings shown and searched; \\0 if not given.\n"
     "\n"
     "  /z\n"
     "     Shows each type's number after its name: REG_SZ (1).\n"},
    {"add",
     "ruzide reg add <KEY> [/v <name> | /ve] [/t <type>] [/s <char>] [/d <data>] [/f]\n"
     "\n"
     "  Creates the key and every missing key above it, and sets a value of it: the\n"
     "  unnamed one without [/v], empty when nothing else is given.\n"
     "\n" RUZIDE_KEY_HELP_ RUZIDE_VALUE_HELP_(
         "set") "  /t <type>\n"
                "     The value's type, one of\n"
                "\n"
                "         REG_SZ    | REG_EXPAND_SZ        | REG_MULTI_SZ | REG_NONE\n"
                "         REG_DWORD | REG_DWORD_BIG_ENDIAN | REG_QWORD    | REG_BINARY\n"
                "\n"
                "     REG_SZ when not given.\n"
                "\n"
                "  /d <data>\n"
                "     The data: text for the string types and REG_NONE (stored as UTF-16),\n"
                "     strings separated by \\0 (or /s) for REG_MULTI_SZ, a decimal number or\n"
                "     a hexadecimal one with 0x for the numbers, hexadecimal bytes (0102ff)\n"
                "     for REG_BINARY. Empty (0) when not given; the DWORDs need it.\n"
                "\n"
                "  /s <char>\n"
                "     The separator of REG_MULTI_SZ strings in <data>, instead of \\0.\n"
                "\n"
                "  /f\n"
                "     Replaces an existing value without asking. Without it the command asks\n"
                "     on standard output and reads the answer (Yes or No) from standard\n"
                "     input; when that ends first, nothing is set (exit status 1).\n"},
    {"delete",
     "ruzide reg delete <KEY> [/v <name> | /ve | /va] [/f]\n"
     "\n"
     "  Deletes one value, every value of the key, or the key and everything below it.\n"
     "\n" RUZIDE_KEY_HELP_ RUZIDE_VALUE_HELP_(
         "delete") "  /va\n"
                   "     Every value of the key; its subkeys stay.\n"
                   "\n"
                   "  /f\n"
                   "     Deletes without asking. Without it the command asks on standard output\n"
                   "     and reads the answer (Yes or No) from standard input; when that ends\n"
                   "     first, nothing is deleted (exit status 1).\n"},
    {"export",
     "ruzide reg export <KEY> <file> [/y]\n"
     "\n"
     "  Writes the key and everything below it to a file in the .reg text format.\n"
     "\n" RUZIDE_KEY_HELP_ "  <file>\n"
     "     The file to write; - for standard output.\n"
     "\n"
     "  /y\n"
     "     Replaces an existing file; without it the command refuses.\n"},
    {"import",
     "ruzide reg import <file> [/strict]\n"
     "\n"
     "  Applies a .reg file: its keys are created and its values set, or deleted\n"
     "  where the file says so. A malformed line is skipped, as Windows' reg skips it,\n"
     "  and named on standard error (<file>:<line>: <reason>; skipped); the rest is\n"
     "  imported.\n"
     "\n"
     "  <file>\n"
     "     The file to read; - for standard input.\n"
     "\n"
     "  /strict\n"
     "     Reads the whole file first and, if any line is malformed, names each and\n"
     "     changes nothing.\n"},
    {"copy",
     "ruzide reg copy <KEY1> <KEY2> [/s] [/f]\n"
     "\n"
     "  Copies the values of <KEY1> to <KEY2>, creating <KEY2> if needed, as one\n"
     "  transaction.\n"
     "\n"
     "  <KEY1>, <KEY2>\n"
     "     The source and the target, each ROOT\\Subkey as for the other commands.\n"
     "\n"
     "  /s\n"
     "     Copies every key below <KEY1> too, with its values.\n"
     "\n"
     "  /f\n"
     "     Replaces the values <KEY2> already has without asking.\n"},
    {"compare",
     "ruzide reg compare <KEY1> <KEY2> [/v <name> | /ve] [/s] [/od | /os | /oa | /on]\n"
     "\n"
     "  Compares the values and subkey names of two keys. Exit status 0 when they are\n"
     "  identical, 2 when they differ, 1 on an error.\n"
     "\n"
     "  <KEY1>, <KEY2>\n"
     "     The keys to compare, each ROOT\\Subkey as for the other commands.\n"
     "\n"
     RUZIDE_VALUE_HELP_("compare")
     "  /s\n"
     "     Compares the keys below both too, all the way down.\n"
     "\n"
     "  /od, /os, /oa, /on\n"
     "     Prints the differences (the default), the matches, both, or nothing.\n"},
    {"watch",
     "ruzide reg watch <KEY> [/s]\n"
     "\n"
     "  Prints a line for each change any program makes to the key's values, until\n"
     "  interrupted: the time, the key, the value, its type and new data, or that a\n"
     "  value or key was deleted or created.\n"
     "\n" RUZIDE_KEY_HELP_ "  /s\n"
     "     Follows the keys below <KEY> too.\n"},
};
// clang-format on

}  // namespace

const char* RegCommandHelp(const std::string& command) {
  for (const auto& h : kHelp) {
    if (command == h.command) return h.help;
  }
  return nullptr;
}

}  // namespace tool
}  // namespace ruzide
