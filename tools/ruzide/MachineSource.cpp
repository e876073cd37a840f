#include "MachineSource.h"

#include "platform/WinReg.h"

namespace ruzide {
namespace tool {

namespace {

constexpr char kSoftware[] = "Software\\";
constexpr char kCopyOfSoftware[] = "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\";

bool StartsWithSoftware(const std::string& subkey) {
  if (subkey.size() < sizeof kSoftware - 1) return false;
  for (size_t i = 0; i + 1 < sizeof kSoftware; ++i) {
    char c = subkey[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    char k = kSoftware[i];
    if (k >= 'a' && k <= 'z') k = static_cast<char>(k - 'a' + 'A');
    if (c != k) return false;
  }
  return true;
}

// Whether the open succeeds; the key is closed again.
bool Opens(HKEY root, const std::string& subkey, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

const char* MachineValueSource(const std::string& subkey, const std::string& name) {
  if (!StartsWithSoftware(subkey)) return "machine";
  // The machine root itself is never virtualized: a process that may not write it, yet
  // may open the key for writing, writes, and reads first, its virtual copy.
  const REGSAM write = KEY_QUERY_VALUE | KEY_SET_VALUE;
  if (Opens(HKEY_LOCAL_MACHINE, "", write) || !Opens(HKEY_LOCAL_MACHINE, subkey, write)) {
    return "machine";
  }
  HKEY copy = nullptr;
  const std::string copy_path = kCopyOfSoftware + subkey.substr(sizeof kSoftware - 1);
  if (RegOpenKeyExA(HKEY_CURRENT_USER, copy_path.c_str(), 0, KEY_QUERY_VALUE, &copy) !=
      ERROR_SUCCESS) {
    return "machine";
  }
  const bool in_copy =
      RegQueryValueExA(copy, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(copy);
  return in_copy ? "virtual copy" : "machine";
}

}  // namespace tool
}  // namespace ruzide
