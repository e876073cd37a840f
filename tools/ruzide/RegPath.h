// Registry key paths as the `reg` commands take and print them:
// HKEY_CURRENT_USER\Software\Tessary, or HKCU\Software\Tessary.
#ifndef RUZIDE_TOOLS_RUZIDE_REGPATH_H_
#define RUZIDE_TOOLS_RUZIDE_REGPATH_H_

#include <string>

#include "platform/WinTypes.h"

namespace ruzide {
namespace tool {

struct RegPath {
  HKEY root = nullptr;
  std::string sub;  // below the root, names joined by single backslashes; empty for the root

  // The path with the root's full name: "HKEY_CURRENT_USER\Software".
  std::string Full() const;
  // Full() for messages: bytes other than printable ASCII as \xNN.
  std::string Shown() const;
  // The path of the subkey `name` of this key.
  RegPath Child(const std::string& name) const;
};

// Parses `text`: a root, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE or their abbreviations
// HKCU and HKLM in any case, then optionally a backslash and the subkey path. Runs of
// backslashes count as one and trailing ones are dropped, as the registry functions
// themselves treat them. On failure `error` says why.
bool ParseRegPath(const std::string& text, RegPath* path, std::string* error);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGPATH_H_
