// `reg query <KEY> /f <pattern>`: searches key names, value names and data below a key
// for a pattern, and lists what matches as `reg query` lists keys and values.
#ifndef RUZIDE_TOOLS_RUZIDE_REGFIND_H_
#define RUZIDE_TOOLS_RUZIDE_REGFIND_H_

#include <cstdio>
#include <string>
#include <vector>

#include "RegPath.h"
#include "RegValue.h"

namespace ruzide {
namespace tool {

struct FindRequest {
  // `*` stands for any run of characters, `?` for any one. Without `exact` the pattern
  // may match any part of a text, with it only the whole text.
  std::string pattern;
  bool exact = false;
  bool case_sensitive = false;  // else ASCII letters match in either case
  // Where to look; when none is set, in all three.
  bool key_names = false;
  bool value_names = false;
  bool data = false;
  std::vector<DWORD> types;  // the value types looked at; empty for every type
  // How values are shown, and matched: the separator between the strings of a
  // REG_MULTI_SZ is matched too.
  ValueStyle style;
};

// The types named in `list`, comma-separated ("REG_SZ,REG_DWORD"); on failure `error`
// says why.
bool ParseTypeList(const std::string& list, std::vector<DWORD>* types, std::string* error);

// Whether `text` matches the pattern of `request`.
bool PatternMatches(const FindRequest& request, const std::string& text);

// Searches the values of the key at `path` and the names of its subkeys, and with
// `subtree` every key below it (its name, values and data), printing each key that
// matches or holds a value that matches as `reg query` does (a blank line first, each
// key's block followed by one), then "End of search: <n> match(es) found.".
// Returns the process exit status: 0 also when nothing matched, 1 when a key could not
// be read.
int FindInTree(const RegPath& path, bool subtree, const FindRequest& request, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGFIND_H_
