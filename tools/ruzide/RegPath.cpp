#include "RegPath.h"

#include <strings.h>

#include "RegValue.h"

namespace ruzide {
namespace tool {

namespace {

// The two roots the store has; the registry functions refuse every other one.
const struct {
  const char* name;
  const char* abbreviation;
  HKEY root;
} kRoots[] = {
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
};

}  // namespace

std::string RegPath::Full() const {
  std::string full;
  for (const auto& r : kRoots) {
    if (r.root == root) full = r.name;
  }
  if (!sub.empty()) full += "\\" + sub;
  return full;
}

std::string RegPath::Shown() const { return Printable(Full()); }

RegPath RegPath::Child(const std::string& name) const {
  return RegPath{root, sub.empty() ? name : sub + "\\" + name};
}

bool ParseRegPath(const std::string& text, RegPath* path, std::string* error) {
  const size_t slash = text.find('\\');
  const std::string root = text.substr(0, slash);
  path->root = nullptr;
  for (const auto& r : kRoots) {
    if (strcasecmp(root.c_str(), r.name) == 0 || strcasecmp(root.c_str(), r.abbreviation) == 0) {
      path->root = r.root;
    }
  }
  if (path->root == nullptr) {
    *error =
        "'" + text + "' does not start with HKEY_CURRENT_USER (HKCU) or HKEY_LOCAL_MACHINE (HKLM)";
    return false;
  }
  path->sub.clear();
  if (slash == std::string::npos) return true;
  for (size_t start = slash + 1; start <= text.size();) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      if (!path->sub.empty()) path->sub += '\\';
      path->sub.append(text, start, end - start);
    }
    start = end + 1;
  }
  return true;
}

}  // namespace tool
}  // namespace ruzide
