// Open registry keys for the `reg` commands, over the ten registry functions of
// platform/WinReg.h only, and the words for their error codes.
#ifndef RUZIDE_TOOLS_RUZIDE_REGKEY_H_
#define RUZIDE_TOOLS_RUZIDE_REGKEY_H_

#include <string>
#include <vector>

#include "RegPath.h"
#include "RegValue.h"
#include "platform/WinReg.h"

namespace ruzide {
namespace tool {

// A key handle, closed when the object goes. Every call returns ERROR_SUCCESS or the
// registry's error code.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  LONG Open(const RegPath& path, REGSAM access);
  // Opens `path` for reading and writing, creating it and any missing key above it.
  LONG Create(const RegPath& path);

  // Every value with its data, in the registry's order.
  LONG Values(std::vector<RegValue>* values) const;
  // The names of the subkeys, in the registry's order.
  LONG Subkeys(std::vector<std::string>* names) const;
  LONG Query(const std::string& name, RegValue* value) const;
  // Stores the value with exactly its bytes, also string data without a final zero.
  LONG Set(const RegValue& value) const;
  LONG DeleteValue(const std::string& name) const;

 private:
  void Close();

  HKEY key_ = nullptr;
};

// Deletes the key at `path` and everything below it, deepest keys first, since
// RegDeleteKeyA refuses a key that still has subkeys. Stops at the first failure and sets
// `failed` to the key it could not list or delete.
LONG DeleteTree(const RegPath& path, RegPath* failed);

// An error code in words, with its number: "access denied (5)".
std::string ErrorText(LONG code);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGKEY_H_
