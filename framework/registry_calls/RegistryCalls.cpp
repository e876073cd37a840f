#include "framework/registry_calls/RegistryCalls.h"

#include <cstring>

#include "platform/WinEvent.h"
#include "platform/WinReg.h"

namespace ruzide {
namespace store {
namespace {

CallCounts g_counts;

}  // namespace

const CallCounts& GetCallCounts() { return g_counts; }
void ResetCallCounts() { g_counts = CallCounts(); }

KeyPath::KeyPath(const char* path) {
  inline_[0] = '\0';
  if (path) Append(path, strlen(path));
  EndWithBackslash();
}

KeyPath::KeyPath(const CString& full_path, const CString& name) {
  inline_[0] = '\0';
  Append(full_path, static_cast<size_t>(full_path.GetLength()));
  if (!full_path.IsEmpty()) Append("\\", 1);
  Append(name, static_cast<size_t>(name.GetLength()));
  EndWithBackslash();
}

void KeyPath::Append(const char* text, size_t length) {
  if (large_.empty() && length_ + length < kInline) {
    memcpy(inline_ + length_, text, length);
    length_ += length;
    inline_[length_] = '\0';
    return;
  }
  if (large_.empty()) large_.assign(inline_, length_);
  large_.append(text, length);
}

void KeyPath::EndWithBackslash() {
  const size_t length = large_.empty() ? length_ : large_.size();
  if (length == 0 || c_str()[length - 1] != '\\') Append("\\", 1);
}

namespace {

// The framework names the root key itself by the empty path, which its path building
// turns into a lone backslash; the registry refuses that (ERROR_BAD_PATHNAME) but takes
// the empty sub-path as the key it is given.
const char* SubPath(const char* path) {
  return path && path[0] == '\\' && path[1] == '\0' ? "" : path;
}

}  // namespace

LONG OpenKey(HKEY root, const char* path, REGSAM access, HKEY* out) {
  ++g_counts.opens;
  *out = nullptr;
  LONG rc = RegOpenKeyExA(root, SubPath(path), 0, access, out);
  if (rc != ERROR_SUCCESS) *out = nullptr;
  return rc;
}

LONG CreateKey(HKEY root, const char* path, HKEY* out) {
  ++g_counts.opens;
  ++g_counts.creates;
  *out = nullptr;
  DWORD disposition = 0;  // created or opened: the framework does not care
  LONG rc = RegCreateKeyExA(root, SubPath(path), 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite,
                            nullptr, out, &disposition);
  if (rc != ERROR_SUCCESS) *out = nullptr;
  return rc;
}

void CloseKey(HKEY key) {
  ++g_counts.closes;
  RegCloseKey(key);
}

LONG QueryValue(HKEY key, const char* name, BYTE* data, DWORD* size) {
  ++g_counts.queries;
  DWORD type = 0;  // never examined: values are read whatever their type
  return RegQueryValueExA(key, name, nullptr, &type, data, size);
}

LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  ++g_counts.writes;
  return RegSetValueExA(key, name, 0, type, data, size);
}

LONG CountSubKeys(HKEY key, DWORD* count) {
  ++g_counts.infos;
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, count, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
}

LONG CountValues(HKEY key, DWORD* count) {
  ++g_counts.infos;
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count, nullptr,
                          nullptr, nullptr, nullptr);
}

LONG EnumKey(HKEY key, DWORD index, char* name) {
  ++g_counts.enums;
  DWORD size = kNameBufferSize;
  FILETIME last_write;  // asked for, never used
  return RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, &last_write);
}

LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* type) {
  ++g_counts.enums;
  DWORD size = kNameBufferSize;
  return RegEnumValueA(key, index, name, &size, nullptr, type, nullptr, nullptr);
}

LONG DeleteValue(HKEY key, const char* name) {
  ++g_counts.deletes;
  return RegDeleteValueA(key, name);
}

LONG DeleteKey(HKEY parent, const char* name) {
  ++g_counts.deletes;
  return RegDeleteKeyA(parent, name);
}

HKEY OpenForWatch(HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

LONG WatchSubtree(HKEY key, HANDLE event) {
  return RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                 event, TRUE);
}

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }
void FreeEvent(HANDLE event) { CloseHandle(event); }
void ResetEvent(HANDLE event) { ::ResetEvent(event); }
bool WaitEvent(HANDLE event, DWORD milliseconds) {
  return WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0;
}
#ifndef _WIN32
int EventDescriptor(HANDLE event) { return ruzide::platform::EventDescriptor(event); }
#endif

}  // namespace store
}  // namespace ruzide
