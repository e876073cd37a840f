#include "RegFind.h"

#include <cctype>

#include "ExitStatus.h"
#include "RegKey.h"
#include "RegValue.h"

namespace ruzide {
namespace tool {

namespace {

bool SameChar(char a, char b, bool case_sensitive) {
  if (case_sensitive) return a == b;
  return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b));
}

// Whether all of `text` matches all of `pattern`. A `*` first matches nothing and, each
// time the rest fails, one character more; only the last `*` needs to be retried, since
// any later match of the rest is also open to it.
bool Glob(const std::string& pattern, const std::string& text, bool case_sensitive) {
  size_t p = 0, t = 0;
  size_t star = std::string::npos, star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || SameChar(pattern[p], text[t], case_sensitive))) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// What one search looks at, and how many matches it printed.
class Search {
 public:
  Search(const FindRequest& request, FILE* out) : request_(request), out_(out) {
    const bool any = request.key_names || request.value_names || request.data;
    keys_ = !any || request.key_names;
    names_ = !any || request.value_names;
    data_ = !any || request.data;
  }

  // Prints `key` if its name (when `named`) or any of its values match, with those
  // values; the key's name and each value count as one match. The value lines are laid
  // out as `reg query` lays them out.
  void Key(const KeyContents& key, bool named) {
    const size_t slash = key.path.sub.rfind('\\');
    const std::string name = key.path.sub.substr(slash == std::string::npos ? 0 : slash + 1);
    bool shown = false;
    if (named && keys_ &&
        PatternMatches(request_, TextForDisplay(name, request_.style.code_page))) {
      Heading(key.path, &shown);
      ++matches_;
    }
    for (const RegValue& value : key.values) {
      if (!TypeSearched(value.type)) continue;
      const std::string data = DataForDisplay(value, request_.style);
      if ((names_ &&
           PatternMatches(request_, TextForDisplay(value.name, request_.style.code_page))) ||
          (data_ && PatternMatches(request_, data))) {
        Heading(key.path, &shown);
        fprintf(out_, "%s\n", ValueLine(value, request_.style).c_str());
        ++matches_;
      }
    }
    if (shown) fputs("\n", out_);
  }

  size_t matches() const { return matches_; }

 private:
  bool TypeSearched(DWORD type) const {
    if (request_.types.empty()) return true;
    for (DWORD t : request_.types) {
      if (t == type) return true;
    }
    return false;
  }

  // Prints the key's path once, before its first match.
  void Heading(const RegPath& path, bool* shown) {
    if (*shown) return;
    *shown = true;
    fprintf(out_, "%s\n", TextForDisplay(path.Full(), request_.style.code_page).c_str());
  }

  const FindRequest& request_;
  FILE* out_;
  bool keys_, names_, data_;
  size_t matches_ = 0;
};

}  // namespace

bool ParseTypeList(const std::string& list, std::vector<DWORD>* types, std::string* error) {
  types->clear();
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    DWORD type = REG_NONE;
    const std::string name = list.substr(start, end - start);
    if (!ParseTypeName(name, &type)) {
      *error = "unknown type '" + name +
               "'; the types are REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, "
               "REG_BINARY and REG_NONE, separated by commas";
      return false;
    }
    types->push_back(type);
    start = end + 1;
  }
  return true;
}

bool PatternMatches(const FindRequest& request, const std::string& text) {
  if (request.exact) return Glob(request.pattern, text, request.case_sensitive);
  return Glob("*" + request.pattern + "*", text, request.case_sensitive);
}

int FindInTree(const RegPath& path, bool subtree, const FindRequest& request, FILE* out,
               FILE* err) {
  std::vector<KeyContents> keys;
  RegPath failed;
  const LONG status = ReadTree(path, subtree, &keys, &failed);
  if (status != ERROR_SUCCESS) {
    fprintf(err, "ruzide: cannot read %s: %s\n", Printable(failed.Full()).c_str(),
            ErrorText(status).c_str());
    return kExitFailure;
  }
  Search search(request, out);
  fputs("\n", out);
  // The key searched from is looked into, not matched by its own name.
  search.Key(keys[0], false);
  for (size_t i = 1; i < keys.size(); ++i) search.Key(keys[i], true);
  if (!subtree) {
    // Without /s the subkeys are matched by name alone.
    for (const std::string& name : keys[0].subkeys) {
      search.Key(KeyContents{path.Child(name), {}, {}}, true);
    }
  }
  fprintf(out, "End of search: %s match(es) found.\n", std::to_string(search.matches()).c_str());
  return kExitOk;
}

}  // namespace tool
}  // namespace ruzide
