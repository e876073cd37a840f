#include "RegCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "AsciiCase.h"
#include "CodePage.h"
#include "ExitStatus.h"
#include "Question.h"
#include "RegCompare.h"
#include "RegCopy.h"
#include "RegFind.h"
#include "RegFormat.h"
#include "RegHelp.h"
#include "RegKey.h"
#include "RegPath.h"
#include "RegTransfer.h"
#include "RegValue.h"
#include "RegWatch.h"
#include "framework/registry_calls/Transaction.h"

namespace ruzide {
namespace tool {

const char kRegUsage[] =
    "Usage: ruzide reg <command> ...\n"
    "\n"
    "Looks at and changes registry keys and values through the registry functions alone,\n"
    "as Windows' reg command does; off Windows that is the embedded store, which running\n"
    "applications share safely.\n"
    "\n"
    "KEY is HKEY_CURRENT_USER\\<path> or HKEY_LOCAL_MACHINE\\<path>, or HKCU\\<path> and\n"
    "HKLM\\<path>, in any case. Options start with / or -, in any case.\n"
    "'ruzide reg <command> /?' shows the help of one command.\n"
    "\n"
    "Commands:\n"
    "  query <KEY> [/v <name> | /ve] [/s] [/t <types>] [/se <char>] [/z] [/cp <n>]\n"
    "      show the key's values (name, type, data) and its subkeys as Windows' reg does;\n"
    "      /v one value, /ve the unnamed value, /s the keys below too; /t only these\n"
    "      types, separated by commas; /se the REG_MULTI_SZ separator (\\0); /z type numbers\n"
    "  query <KEY> /f <pattern> [/k] [/v] [/d] [/c] [/e] [/t <types>] [/se <char>] [/s]\n"
    "      search the key's values and subkey names (/s: every key below it) for the\n"
    "      pattern, with * and ? as wildcards, in part (/e: whole) and in any case (/c:\n"
    "      exact case); /k key names, /v value names, /d data (none: all three)\n"
    "  add <KEY> [/v <name> | /ve] [/t <type>] [/s <char>] [/d <data>] [/f] [/cp <n>]\n"
    "      create the key and set a value (without /v the unnamed one, empty when nothing\n"
    "      else is given) of type REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ\n"
    "      (strings separated by \\0 or /s), REG_NONE (text, stored as UTF-16),\n"
    "      REG_DWORD, REG_DWORD_BIG_ENDIAN or REG_QWORD (decimal, or hexadecimal with\n"
    "      0x), REG_BINARY (hexadecimal bytes, like 0102ff), as Windows' reg stores it;\n"
    "      an existing value is replaced after asking, or with /f\n"
    "  delete <KEY> [/v <name> | /ve | /va] [/f]\n"
    "      delete a value, all values of the key (/va), or the key and everything below\n"
    "      it, after asking, or with /f\n"
    "  export <KEY> <file> [/y] [/a] [/cp <n>]\n"
    "      write the key and everything below it to a .reg file (- for standard\n"
    "      output) as Windows' registry editor does: UTF-16, Version 5.00; with /a\n"
    "      8-bit, REGEDIT4, the bytes as stored; an existing file is replaced only\n"
    "      with /y\n"
    "  import <file> [/strict] [/cp <n>]\n"
    "      apply a .reg file of either kind (- for standard input); a malformed line is\n"
    "      skipped and named, the rest imported; with /strict nothing is changed unless\n"
    "      the whole file is well-formed\n"
    "  copy <KEY1> <KEY2> [/s] [/f]\n"
    "      copy the values of KEY1 (/s: and every key below it) to KEY2; values KEY2 has\n"
    "      are replaced after asking, or with /f; one transaction\n"
    "  compare <KEY1> <KEY2> [/v <name> | /ve] [/s] [/od | /os | /oa | /on]\n"
    "      compare the keys' values (/v, /ve: one value) and subkey names (/s: and the\n"
    "      keys below both), printing differences (/od, the default), matches (/os), both\n"
    "      (/oa) or neither (/on); exit status 0 identical, 2 different, 1 on error\n"
    "  watch <KEY> [/s]\n"
    "      print a line for each change of the key's values (with /s, of the keys below\n"
    "      it too) made by any program, until interrupted: time, key, value, type and\n"
    "      new data, or that a value or key was deleted or created; writes that store\n"
    "      the data already there print nothing\n"
    "\n"
    "Strings are held as bytes in a code page: /cp <n>, by default RUZIDE_CODEPAGE or\n"
    "1252 (on Windows the ANSI code page). query, add, export and import convert\n"
    "through it; export /a writes the bytes unconverted.\n"
    "\n"
    "Every command but watch takes /reg:32 or /reg:64: on Windows, the keys of 32-bit or\n"
    "64-bit programs; the embedded store has one view, which both name.\n"
    "\n"
    "Exit status: 0 on success, 1 on any failure, a bad command line included; compare\n"
    "answers 2 for keys that differ.\n";

namespace {

// What the command line of one reg command asks for.
struct Request {
  std::vector<std::string> operands;
  std::set<std::string> options;      // the options given, lower case, without / or -
  std::string name;                   // of the value: /v <name>; empty for /ve
  DWORD type = REG_SZ;                // /t
  std::string data;                   // /d
  RegPath key;                        // the first operand of the commands that take a key
  std::string pattern;                // query /f
  std::string type_list;              // query /t
  std::string separator = "\\0";      // query /se, add /s
  int code_page = DefaultCodePage();  // of the registry's text: /cp

  bool Has(const char* option) const { return options.count(option) != 0; }
  bool OneValue() const { return Has("v") || Has("ve"); }
};

struct Command {
  const char* name;
  const char* synopsis;
  const char* options;  // those it takes, each between blanks
  size_t operands;
  bool key;  // whether the first operand is a KEY
  int (*run)(const Request& request, FILE* out, FILE* err);
};

const struct {
  const char* name;
  bool takes_argument;
} kOptions[] = {{"v", true},       {"ve", false},    {"va", false},     {"s", false},
                {"t", true},       {"d", true},      {"f", false},      {"y", false},
                {"od", false},     {"os", false},    {"oa", false},     {"on", false},
                {"k", false},      {"c", false},     {"e", false},      {"se", true},
                {"a", false},      {"cp", true},     {"strict", false}, {"z", false},
                {"reg:32", false}, {"reg:64", false}};

// A bad command line is a failure like any other, 1, as Windows' reg answers it: scripts
// written for that tool test for nothing else.
int UsageError(FILE* err, const std::string& what) {
  fprintf(err, "ruzide: %s\nTry 'ruzide reg --help'.\n", what.c_str());
  return kExitFailure;
}

// Whether `arg` asks for help as Windows' reg takes it: /?, -?, /h or -h, in any case.
bool IsHelpSwitch(const std::string& arg) {
  return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') &&
         (arg[1] == '?' || arg[1] == 'h' || arg[1] == 'H');
}

// The name of the option `arg` is (lower case, without its / or -), or empty when it is
// none: only the options' own names count, so that a path such as /tmp/x.reg is an
// operand.
std::string OptionName(const std::string& arg, bool* takes_argument) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return std::string();
  const std::string name = AsciiLower(arg.substr(1));
  for (const auto& o : kOptions) {
    if (name != o.name) continue;
    *takes_argument = o.takes_argument;
    return name;
  }
  return std::string();
}

// In `reg query`, /f takes the pattern to search for, /d is a flag (search the data), and
// /v without a name (nothing or an option follows) a flag too (search value names).
void QueryOption(const std::string& option, const std::vector<std::string>& args, size_t i,
                 bool* takes_argument) {
  bool ignored = false;
  if (option == "f") *takes_argument = true;
  if (option == "d") *takes_argument = false;
  if (option == "v" && (i + 1 == args.size() || !OptionName(args[i + 1], &ignored).empty())) {
    *takes_argument = false;
  }
}

// Whether `text`, as typed, is one character.
bool OneCharacter(const std::string& text) {
  std::u16string unicode;
  return ToUtf16(text, TerminalCodePage(), &unicode) && unicode.size() == 1;
}

// Checks the options of a query: those of the search need /f, and /v names no value then.
bool CheckQuery(const Request& request, std::string* error) {
  if (request.Has("se") && !OneCharacter(request.separator)) {
    *error = "/se takes one character";
    return false;
  }
  if (!request.Has("f")) {
    for (const char* o : {"k", "d", "c", "e"}) {
      if (request.Has(o)) *error = std::string("/") + o + " needs /f <pattern>";
    }
    if (request.Has("v") && request.name.empty()) *error = "option /v needs an argument";
    return error->empty();
  }
  if (request.Has("ve") || !request.name.empty()) {
    *error = "with /f, /v takes no name (it searches the value names), and /ve is not taken";
    return false;
  }
  return true;
}

// Checks the options of an add: /s is one character, and a number needs its /d.
bool CheckAdd(const Request& request, std::string* error) {
  if (request.Has("s") && !OneCharacter(request.separator)) {
    *error = "/s takes one character";
    return false;
  }
  if ((request.type == REG_DWORD || request.type == REG_DWORD_BIG_ENDIAN) && !request.Has("d")) {
    *error = TypeName(request.type) + " needs its number: /d <number>";
    return false;
  }
  return true;
}

// Parses a KEY of the command line. Windows' reg refuses a root followed by a backslash and
// a path ending in two, where the registry functions would take the root or drop them:
// such a typo must not write into the root.
bool ParseKeyArgument(const std::string& text, RegPath* path, std::string* error) {
  if (!ParseRegPath(text, path, error)) return false;
  const bool ends_twice = text.size() > 2 && text.compare(text.size() - 2, 2, "\\\\") == 0;
  if (!ends_twice && !(path->sub.empty() && text.back() == '\\')) return true;
  *error = "invalid key name '" + Printable(text) + "'";
  return false;
}

// Converts `text`, as typed, to the request's code page.
bool Typed(std::string* text, const Request& request, std::string* error) {
  std::u16string unicode;
  std::string converted;
  if (ToUtf16(*text, TerminalCodePage(), &unicode) &&
      FromUtf16(unicode, request.code_page, &converted)) {
    *text = converted;
    return true;
  }
  *error = "'" + Printable(*text) + "' holds a character code page " +
           std::to_string(request.code_page) + " does not have";
  return false;
}

// Reads `args` (after the command's name) into `request`; on failure `error` says why.
bool ParseRequest(const Command& command, const std::vector<std::string>& args, Request* request,
                  std::string* error) {
  for (size_t i = 1; i < args.size(); ++i) {
    bool takes_argument = false;
    const std::string option = OptionName(args[i], &takes_argument);
    const bool query = strcmp(command.name, "query") == 0;
    if (query) QueryOption(option, args, i, &takes_argument);
    if (option == "s" && strcmp(command.name, "add") == 0) takes_argument = true;  // separator
    if (option.empty()) {
      request->operands.push_back(args[i]);
      continue;
    }
    if (strstr(command.options, (" " + option + " ").c_str()) == nullptr) {
      *error = std::string("reg ") + command.name + " takes no option " + args[i];
      return false;
    }
    if (!request->options.insert(option).second) {
      *error = "option " + args[i] + " given twice";
      return false;
    }
    if (!takes_argument) continue;
    if (++i == args.size()) {
      *error = "option " + args[i - 1] + " needs an argument";
      return false;
    }
    if (option == "v") request->name = args[i];
    if (option == "d") request->data = args[i];
    if (option == "f") request->pattern = args[i];
    if (option == "se" || option == "s") request->separator = args[i];
    if (option == "cp") request->code_page = atoi(args[i].c_str());
    if (option == "t" && query) {
      request->type_list = args[i];
      continue;
    }
    if (option == "t" && !ParseTypeName(args[i], &request->type)) {
      *error = "unknown type '" + args[i] +
               "'; the types are REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, "
               "REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY and REG_NONE";
      return false;
    }
  }
  if (request->Has("v") + request->Has("ve") + request->Has("va") > 1) {
    *error = "give only one of /v, /ve and /va";
    return false;
  }
  if (strcmp(command.name, "query") == 0 && !CheckQuery(*request, error)) return false;
  if (strcmp(command.name, "add") == 0 && !CheckAdd(*request, error)) return false;
  if (request->Has("reg:32") && request->Has("reg:64")) {
    *error = "give only one of /reg:32 and /reg:64";
    return false;
  }
  if (request->Has("od") + request->Has("os") + request->Has("oa") + request->Has("on") > 1) {
    *error = "give only one of /od, /os, /oa and /on";
    return false;
  }
  if (request->operands.size() != command.operands) {
    *error = request->operands.size() > command.operands
                 ? "unexpected argument '" + request->operands[command.operands] + "'; "
                 : "";
    *error += std::string("usage: ruzide reg ") + command.synopsis;
    return false;
  }
  if (!CodePageKnown(request->code_page)) {  // from /cp or RUZIDE_CODEPAGE
    *error = "code page " + std::to_string(request->code_page) + " is not known here";
    return false;
  }
  if (command.key && !ParseKeyArgument(request->operands[0], &request->key, error)) return false;
  // The second KEY of copy and compare, parsed where they run, is typed text too.
  const bool second_key = command.key && command.operands == 2 && strcmp(command.name, "export");
  // So is add's separator, which is matched in the data; query's is shown as typed.
  const bool add = strcmp(command.name, "add") == 0;
  return Typed(&request->key.sub, *request, error) && Typed(&request->name, *request, error) &&
         Typed(&request->data, *request, error) &&
         (!add || Typed(&request->separator, *request, error)) &&
         (!second_key || Typed(&request->operands[1], *request, error));
}

// How values are shown: /cp, /se and /z.
ValueStyle Style(const Request& request) {
  ValueStyle style;
  style.code_page = request.code_page;
  style.separator = request.separator;
  style.type_numbers = request.Has("z");
  return style;
}

int Find(const Request& request, FILE* out, FILE* err) {
  FindRequest find;
  find.pattern = request.pattern;
  find.exact = request.Has("e");
  find.case_sensitive = request.Has("c");
  find.key_names = request.Has("k");
  find.value_names = request.Has("v");
  find.data = request.Has("d");
  find.style = Style(request);
  std::string error;
  if (request.Has("t") && !ParseTypeList(request.type_list, &find.types, &error)) {
    return UsageError(err, error);
  }
  return FindInTree(request.key, request.Has("s"), find, out, err);
}

// The values of `key` a query shows: those of the types asked for (/t), and with /v or /ve
// the one of that name, matched as the registry matches names, without regard to the case
// of ASCII letters, and shown by the name as given, as Windows' reg shows it.
std::vector<RegValue> ShownValues(const Request& request, const std::vector<DWORD>& types,
                                  const KeyContents& key) {
  std::vector<RegValue> shown;
  for (const RegValue& value : key.values) {
    const bool typed = types.empty() || std::count(types.begin(), types.end(), value.type) != 0;
    if (typed && (!request.OneValue() || AsciiLower(value.name) == AsciiLower(request.name))) {
      shown.push_back(value);
      if (request.OneValue()) shown.back().name = request.name;
    }
  }
  return shown;
}

// Prints a key's block as Windows' reg does: its path, its values, and a blank line.
void PrintKey(const KeyContents& key, const std::vector<RegValue>& values, const ValueStyle& style,
              FILE* out) {
  fprintf(out, "%s\n", TextForDisplay(key.path.Full(), style.code_page).c_str());
  for (const RegValue& value : values) fprintf(out, "%s\n", ValueLine(value, style).c_str());
  fputs("\n", out);
}

// Laid out as Windows' reg lays it out, which scripts parse: a blank line, then each key
// with values (with /s, every key below too) in a block of its own; without /s the
// subkeys' paths follow. /v and /ve with /s search the tree and count what they found.
int Query(const Request& request, FILE* out, FILE* err) {
  if (request.Has("f")) return Find(request, out, err);
  std::vector<DWORD> types;
  std::string error;
  if (request.Has("t") && !ParseTypeList(request.type_list, &types, &error)) {
    return UsageError(err, error);
  }
  std::vector<KeyContents> keys;
  RegPath failed;
  const LONG status = ReadTree(request.key, request.Has("s"), &keys, &failed);
  if (status != ERROR_SUCCESS) {
    return Failure(err, "cannot read " + failed.Shown() + ": " + ErrorText(status));
  }
  const ValueStyle style = Style(request);
  const std::vector<RegValue> values = ShownValues(request, types, keys[0]);
  if (request.OneValue() && !request.Has("s") && values.empty()) {
    if (!request.Has("ve")) {
      return Failure(err, "cannot find " + ValueLabel(request.name) + " in " + request.key.Shown() +
                              ": " + ErrorText(ERROR_FILE_NOT_FOUND));
    }
    // An unnamed value that is not there, as Windows' reg shows it.
    fprintf(out, "\n%s\n    (Default)    %s    (value not set)\n",
            TextForDisplay(request.key.Full(), style.code_page).c_str(),
            (TypeName(REG_SZ) + (style.type_numbers ? " (1)" : "")).c_str());
    return kExitOk;
  }
  fputs("\n", out);
  size_t found = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::vector<RegValue> shown = i == 0 ? values : ShownValues(request, types, keys[i]);
    found += shown.size();
    // A key without values has no block of its own, but for those below the queried one
    // in a listing of the whole tree.
    if (!shown.empty() || (i > 0 && !request.OneValue())) PrintKey(keys[i], shown, style, out);
  }
  if (request.OneValue() && request.Has("s")) {
    fprintf(out, "End of search: %zu match(es) found.\n", found);
  } else if (!request.OneValue() && !request.Has("s")) {
    for (const std::string& name : keys[0].subkeys) {
      fprintf(out, "%s\n", TextForDisplay(request.key.Child(name).Full(), style.code_page).c_str());
    }
  }
  return kExitOk;
}

// Sets a value, the unnamed one when no name is given: `reg add KEY` alone sets it to
// an empty string, as Windows' reg does. Without /f a value that is there already is
// replaced only when the user says so; No leaves it, with exit status 0, as Windows' reg
// answers.
int Add(const Request& request, FILE* out, FILE* err) {
  RegValue value{request.name, request.type, std::string()};
  std::string error;
  // Checked before anything is created, so that a bad command line changes nothing.
  if (!DataFromText(value.type, request.data, request.Has("s") ? request.separator : "",
                    request.code_page, &value.data, &error)) {
    return UsageError(err, error);
  }
  RegKey key;
  LONG status = key.Create(request.key);
  if (status != ERROR_SUCCESS) {
    return Failure(err, "cannot create " + request.key.Shown() + ": " + ErrorText(status));
  }
  RegValue existing;
  if (!request.Has("f") && key.Query(value.name, &existing) == ERROR_SUCCESS) {
    const Answer answer =
        Ask("Overwrite " + ValueLabel(value.name) + " of " + request.key.Shown() + "?", false,
            stdin, out);
    if (answer == Answer::kNo) return kExitOk;
    if (answer == Answer::kNone) {
      return Failure(err, "no answer on standard input; " + ValueLabel(value.name) + " of " +
                              request.key.Shown() + " was kept (add /f to replace it)");
    }
  }
  status = key.Set(value);
  if (status != ERROR_SUCCESS) {
    return Failure(err, "cannot set " + ValueLabel(value.name) + " of " + request.key.Shown() +
                            ": " + ErrorText(status));
  }
  return kExitOk;
}

int DeleteValues(const Request& request, FILE* err) {
  RegKey key;
  LONG status = key.Open(request.key, KEY_READ | KEY_SET_VALUE);
  if (status != ERROR_SUCCESS) {
    return Failure(err, "cannot open " + request.key.Shown() + ": " + ErrorText(status));
  }
  std::vector<RegValue> values(1, RegValue{request.name, REG_NONE, std::string()});
  if (request.Has("va") && (status = key.Values(&values)) != ERROR_SUCCESS) {
    return Failure(err, "cannot read " + request.key.Shown() + ": " + ErrorText(status));
  }
  for (const RegValue& value : values) {
    status = key.DeleteValue(value.name);
    if (status != ERROR_SUCCESS) {
      return Failure(err, "cannot delete " + ValueLabel(value.name) + " of " + request.key.Shown() +
                              ": " + ErrorText(status));
    }
  }
  return kExitOk;
}

// What `reg delete` without /f asks before it deletes.
std::string DeleteQuestion(const Request& request) {
  if (request.Has("va")) return "Delete all values of " + request.key.Shown() + "?";
  if (request.OneValue()) {
    return "Delete " + ValueLabel(request.name) + " of " + request.key.Shown() + "?";
  }
  return "Delete " + request.key.Shown() + " and every key below it?";
}

int Delete(const Request& request, FILE* out, FILE* err) {
  const bool values = request.OneValue() || request.Has("va");
  if (!values && request.key.sub.empty()) return UsageError(err, "a root cannot be deleted");
  if (!request.Has("f")) {
    const Answer answer = Ask(DeleteQuestion(request), false, stdin, out);
    if (answer == Answer::kNo) return kExitOk;
    if (answer == Answer::kNone) {
      return Failure(err,
                     "no answer on standard input; nothing was deleted (add /f to "
                     "delete without asking)");
    }
  }
  if (values) return DeleteValues(request, err);
  RegPath failed;
  store::Transaction batch;  // the subtree goes in one commit
  LONG status = DeleteTree(request.key, &failed);
  if (status != ERROR_SUCCESS) {
    const LONG end = batch.Commit();
    return Failure(err, "cannot delete " + failed.Shown() + ": " + ErrorText(status) +
                            (end == ERROR_SUCCESS ? "" : "; nothing was deleted"));
  }
  if ((status = batch.Commit()) != ERROR_SUCCESS) {
    return Failure(err, "cannot delete " + request.key.Shown() + ": " + ErrorText(status) +
                            "; nothing was deleted");
  }
  return kExitOk;
}

bool FileExists(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f != nullptr) fclose(f);
  return f != nullptr;
}

int Export(const Request& request, FILE* out, FILE* err) {
  const std::string& file = request.operands[1];
  if (file != "-" && !request.Has("y") && FileExists(file)) {
    return Failure(err, file + " exists; add /y to replace it");
  }
  const RegDialect dialect = request.Has("a") ? RegDialect::kAnsi : RegDialect::kUnicode;
  return ExportRegTree(request.key, file, dialect, request.code_page, out, err);
}

int Import(const Request& request, FILE*, FILE* err) {
  return ImportRegFile(request.operands[0], request.code_page, request.Has("strict"), err);
}

int Copy(const Request& request, FILE* out, FILE* err) {
  RegPath to;
  std::string error;
  if (!ParseKeyArgument(request.operands[1], &to, &error)) return UsageError(err, error);
  return CopyKey(request.key, to, request.Has("s"), request.Has("f"), stdin, out, err);
}

int Compare(const Request& request, FILE* out, FILE* err) {
  RegPath right;
  std::string error;
  if (!ParseKeyArgument(request.operands[1], &right, &error)) return UsageError(err, error);
  CompareOutput output = CompareOutput::kDifferences;
  if (request.Has("os")) output = CompareOutput::kMatches;
  if (request.Has("oa")) output = CompareOutput::kAll;
  if (request.Has("on")) output = CompareOutput::kNothing;
  return CompareKeys(request.key, right, request.OneValue() ? &request.name : nullptr,
                     request.Has("s"), output, out, err);
}

int Watch(const Request& request, FILE* out, FILE* err) {
  return WatchKey(request.key, request.Has("s"), out, err);
}

const Command kCommands[] = {
    {"query",
     "query <KEY> [/v <name> | /ve] [/s] [/t <types>] [/se <char>] [/z] [/cp <n>] "
     "[/f <pattern> [/k] [/v] [/d] [/c] [/e]]",
     " v ve s cp f k d c e t se z reg:32 reg:64 ", 1, true, Query},
    {"add", "add <KEY> [/v <name> | /ve] [/t <type>] [/s <char>] [/d <data>] [/f] [/cp <n>]",
     " v ve t s d f cp reg:32 reg:64 ", 1, true, Add},
    {"delete", "delete <KEY> [/v <name> | /ve | /va] [/f]", " v ve va f reg:32 reg:64 ", 1, true,
     Delete},
    {"export", "export <KEY> <file> [/y] [/a] [/cp <n>]", " y a cp reg:32 reg:64 ", 2, true,
     Export},
    {"import", "import <file> [/strict] [/cp <n>]", " cp strict reg:32 reg:64 ", 1, false, Import},
    {"watch", "watch <KEY> [/s]", " s ", 1, true, Watch},
    {"copy", "copy <KEY1> <KEY2> [/s] [/f]", " s f reg:32 reg:64 ", 2, true, Copy},
    {"compare", "compare <KEY1> <KEY2> [/v <name> | /ve] [/s] [/od | /os | /oa | /on]",
     " v ve s od os oa on reg:32 reg:64 ", 2, true, Compare},
};

}  // namespace

int RegCommand(const std::vector<std::string>& args, FILE* out, FILE* err) {
  if (args.size() == 1 && IsHelpSwitch(args[0])) {
    fputs(kRegUsage, out);
    return kExitOk;
  }
  // `<command> /?` asks for the command's help, as Windows' reg takes it.
  if (args.size() == 2 && IsHelpSwitch(args[1]) && RegCommandHelp(args[0])) {
    fputs(RegCommandHelp(args[0]), out);
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (args.empty() || args[0] != command.name) continue;
    Request request;
    std::string error;
    if (!ParseRequest(command, args, &request, &error)) return UsageError(err, error);
    UseRegistryView(request.Has("reg:32")   ? KEY_WOW64_32KEY
                    : request.Has("reg:64") ? KEY_WOW64_64KEY
                                            : 0);
    return command.run(request, out, err);
  }
  return UsageError(err, "unknown reg command '" + (args.empty() ? "" : args[0]) + "'");
}

}  // namespace tool
}  // namespace ruzide
