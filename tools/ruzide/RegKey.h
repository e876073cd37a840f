// Open registry keys for the `reg` commands, over the registry functions of
// platform/WinReg.h only, and the words for their error codes.
#ifndef RUZIDE_TOOLS_RUZIDE_REGKEY_H_
#define RUZIDE_TOOLS_RUZIDE_REGKEY_H_

#include <functional>
#include <string>
#include <vector>

#include "RegPath.h"
#include "RegValue.h"
#include "platform/WinReg.h"

namespace ruzide {
namespace tool {

// Chooses the registry view every key below is opened, created and deleted in:
// KEY_WOW64_32KEY or KEY_WOW64_64KEY (/reg:32, /reg:64), or 0 for the program's own. On
// Windows a 64-bit program then sees the 32-bit programs' keys, or the reverse; the
// embedded store has one view, and takes either as no change.
void UseRegistryView(REGSAM view);

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
  // Gives `visit` every value with its data, one at a time, in the registry's order, until
  // it returns other than ERROR_SUCCESS, which is returned then.
  LONG EachValue(const std::function<LONG(const RegValue& value)>& visit) const;
  // The names of the subkeys, in the registry's order.
  LONG Subkeys(std::vector<std::string>* names) const;
  LONG Query(const std::string& name, RegValue* value) const;
  // Stores the value with exactly its bytes, also string data without a final zero.
  LONG Set(const RegValue& value) const;
  LONG DeleteValue(const std::string& name) const;
  // Watches the key (and with `subtree` every key below it) for one change, which then
  // signals `event` (RegNotifyChangeKeyValue).
  LONG Watch(bool subtree, HANDLE event) const;

 private:
  void Close();

  HKEY key_ = nullptr;
};

// A key as read: its values and the names of its subkeys.
struct KeyContents {
  RegPath path;
  std::vector<RegValue> values;
  std::vector<std::string> subkeys;
};

// Reads the key at `path` and, when `recursive`, every key below it, parents before their
// subkeys. On failure `failed` is the key that could not be read.
LONG ReadTree(const RegPath& path, bool recursive, std::vector<KeyContents>* keys, RegPath* failed);

// Deletes the key at `path` and everything below it, deepest keys first, since
// RegDeleteKeyA refuses a key that still has subkeys. Stops at the first failure and sets
// `failed` to the key it could not list or delete.
LONG DeleteTree(const RegPath& path, RegPath* failed);

// An error code in words, with its number: "access denied (5)".
std::string ErrorText(LONG code);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGKEY_H_
