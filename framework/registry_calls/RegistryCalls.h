// The registry calls the framework makes, exactly as it makes them: the ten registry
// functions with the access masks, sizes and path form the framework passes, and the
// watch of a subtree with the event it signals. Nothing else in framework/ touches the
// registry API.
//
// Every call is counted, so that tests can see how many reads and writes an operation
// cost without replacing the store.
#ifndef RUZIDE_FRAMEWORK_REGISTRY_CALLS_REGISTRYCALLS_H_
#define RUZIDE_FRAMEWORK_REGISTRY_CALLS_REGISTRYCALLS_H_

#include <string>

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace ruzide {
namespace store {

// The access the framework asks for: read and write for the hive's open key, read alone
// for an existence test.
constexpr REGSAM kReadWrite = 0x2001F;  // KEY_READ | KEY_WRITE
constexpr REGSAM kReadOnly = 0x20019;   // KEY_READ

// Bytes of a name buffer used for enumeration, its terminating zero included.
constexpr DWORD kNameBufferSize = 261;

// A key path in the form the framework passes it to the registry: ending in one
// backslash ("" gives "\"). Built in place for paths of up to kInline bytes, so that
// the opens of a write-back, one per value, copy the path without allocating.
class KeyPath {
 public:
  // `path` (null: empty) with a backslash appended unless it already ends in one.
  explicit KeyPath(const char* path);
  // A key's own path from its node fields, as the subtree operations open it:
  // `full_path`, a backslash when that is not empty, `name`, then the closing backslash
  // as above.
  KeyPath(const CString& full_path, const CString& name);
  KeyPath(const KeyPath&) = delete;
  KeyPath& operator=(const KeyPath&) = delete;

  const char* c_str() const { return large_.empty() ? inline_ : large_.c_str(); }
  operator const char*() const { return c_str(); }  // NOLINT: passed where paths go

 private:
  static constexpr size_t kInline = 256;
  void Append(const char* text, size_t length);
  void EndWithBackslash();

  char inline_[kInline];
  size_t length_ = 0;  // of inline_, without its zero, while large_ is empty
  std::string large_;  // the path, once it is longer than inline_ holds
};

// Each returns the registry's result code (0 on success). OpenKey and CreateKey take a
// lone backslash, the form the empty path reaches them in, as the root key itself.
LONG OpenKey(HKEY root, const char* path, REGSAM access, HKEY* out);
LONG CreateKey(HKEY root, const char* path, HKEY* out);
void CloseKey(HKEY key);
// Reads into `data` (null to learn the size); *size is in/out as for RegQueryValueExA.
LONG QueryValue(HKEY key, const char* name, BYTE* data, DWORD* size);
LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
LONG CountSubKeys(HKEY key, DWORD* count);
LONG CountValues(HKEY key, DWORD* count);
// The subkey name at `index` into a kNameBufferSize-byte buffer.
LONG EnumKey(HKEY key, DWORD index, char* name);
// The value name at `index` into a kNameBufferSize-byte buffer, and its type.
LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* type);
LONG DeleteValue(HKEY key, const char* name);
LONG DeleteKey(HKEY parent, const char* name);

// ---- Watching a subtree (CRegDeclWatch), not counted --------------------------------------
// A handle to `path` below `root` (the root itself for ""), created if missing, that may
// be watched; null on failure.
HKEY OpenForWatch(HKEY root, const char* path);
// Watches `key` and every key below it for one change of a value or subkey, which then
// signals `event`.
LONG WatchSubtree(HKEY key, HANDLE event);
// A manual-reset event, not signalled; null on failure.
HANDLE NewEvent();
void FreeEvent(HANDLE event);
void ResetEvent(HANDLE event);
// True when `event` is signalled within `milliseconds` (INFINITE: no limit).
bool WaitEvent(HANDLE event, DWORD milliseconds);
#ifndef _WIN32
// A descriptor that polls readable while `event` is signalled.
int EventDescriptor(HANDLE event);
#endif

// How many of each call this process has made since the last ResetCallCounts.
struct CallCounts {
  long opens = 0;    // OpenKey and CreateKey
  long creates = 0;  // CreateKey alone
  long closes = 0;
  long queries = 0;  // QueryValue
  long writes = 0;   // SetValue
  long infos = 0;    // CountSubKeys and CountValues
  long enums = 0;    // EnumKey and EnumValue
  long deletes = 0;  // DeleteValue and DeleteKey
};
const CallCounts& GetCallCounts();
void ResetCallCounts();

}  // namespace store
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_REGISTRY_CALLS_REGISTRYCALLS_H_
