// The registry functions over the embedded store.
//
// These check arguments, handles and access rights, and fill the caller's buffers with
// the registry's conventions; Store does the rest. Where the registry's behaviour for an
// argument is unusual (a lone backslash, a too-small buffer, a string without its zero)
// the code follows what Windows does, and docs/store.md lists where it knowingly differs.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/WinEvent.h"
#include "platform/WinReg.h"
#include "platform/registry/KeyHandles.h"
#include "platform/registry/KeyPath.h"
#include "platform/registry/Store.h"
#include "platform/registry/Virtualization.h"
#include "platform/registry/Watchers.h"

using ruzide::registry::HandleTarget;
using ruzide::registry::KeyNames;
using ruzide::registry::KeyRef;
using ruzide::registry::MachinePath;
using ruzide::registry::StoredValue;
using ruzide::registry::StoreFor;

namespace {

// Rights that change the registry; a read-only root grants none of them.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// Maps generic rights to the key rights they stand for, as the registry does.
REGSAM MapAccess(REGSAM desired) {
  REGSAM access =
      desired & ~static_cast<REGSAM>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                                     MAXIMUM_ALLOWED | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (desired & GENERIC_READ) access |= KEY_READ;
  if (desired & GENERIC_WRITE) access |= KEY_WRITE;
  if (desired & GENERIC_EXECUTE) access |= KEY_EXECUTE;
  if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) access |= KEY_ALL_ACCESS;
  return access;
}

// Predefined handles are 0x80000000 to 0x80000060 in their low 32 bits, which are all the
// registry reads of them.
bool IsPredefined(HKEY key) {
  auto low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  return low >= 0x80000000u && low <= 0x80000060u;
}

bool IsString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Finds the handle and checks that it was opened with `needed`.
LONG Lookup(HKEY key, REGSAM needed, HandleTarget* target) {
  if (!ruzide::registry::FindKeyHandle(key, target)) return ERROR_INVALID_HANDLE;
  return (target->access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The path from HKEY_LOCAL_MACHINE of the key `names` leads to from `from`, if it lies
// in HKEY_LOCAL_MACHINE\Software; else null.
std::shared_ptr<const MachinePath> SoftwarePath(const HandleTarget& from, const KeyNames& names) {
  if (from.root != ruzide::registry::kLocalMachine) return nullptr;
  if (!from.predefined && from.machine_path == nullptr) return nullptr;
  auto path = std::make_shared<MachinePath>();
  if (from.machine_path != nullptr) *path = *from.machine_path;
  path->insert(path->end(), names.begin(), names.end());
  return ruzide::registry::UnderSoftware(*path) ? path : nullptr;
}

// Whether a call that reaches the key at `path` from `from` goes to the virtual copy.
bool Virtualized(const HandleTarget& from, const std::shared_ptr<const MachinePath>& path,
                 bool for_writing) {
  return path != nullptr && (from.virtualized || (for_writing && ruzide::registry::Virtualizing()));
}

// Opens, or with `key_class` creates, `path` below `parent`.
LONG OpenOrCreate(HKEY parent, LPCSTR path, REGSAM desired, const char* key_class,
                  bool volatile_key, PHKEY result, LPDWORD disposition) {
  HandleTarget from;
  if (!ruzide::registry::FindKeyHandle(parent, &from)) return ERROR_INVALID_HANDLE;
  bool create = key_class != nullptr;
  KeyNames names;
  LONG status = ruzide::registry::SplitKeyPath(path, &names);
  if (status != ERROR_SUCCESS) return status;
  REGSAM access = MapAccess(desired);
  // MAXIMUM_ALLOWED asks for whatever may be had; on a read-only root that is reading.
  bool for_writing = (access & kWriteRights) != 0 && (desired & MAXIMUM_ALLOWED) == 0;
  std::shared_ptr<const MachinePath> machine_path = SoftwarePath(from, names);
  const bool virtualized = Virtualized(from, machine_path, for_writing);
  KeyRef key{0, from.key.depth + static_cast<int>(names.size())};
  bool created = false;
  if (virtualized) {
    if (key.depth > ruzide::registry::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    status =
        ruzide::registry::VirtualOpen(*machine_path, create, create ? key_class : "", &created);
  } else {
    ruzide::registry::Store& store = StoreFor(from.root);
    status = create ? store.CreateKey(from.key, names, key_class, volatile_key, for_writing, &key,
                                      &created)
                    : store.OpenKey(from.key, names, for_writing, &key);
  }
  if (status != ERROR_SUCCESS) return status;
  if (disposition != nullptr) {
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  // The root itself is opened as its predefined handle, as the registry does.
  *result = from.predefined && names.empty()
                ? parent
                : ruzide::registry::NewKeyHandle(
                      HandleTarget{from.root, key, access, false, machine_path, virtualized});
  return ERROR_SUCCESS;
}

// Copies a value's data into the caller's buffer: ERROR_MORE_DATA, leaving the buffer
// alone, if it does not fit. A string without its terminating zero gets one after it
// when there is room, as the registry does; the size reported does not count it.
LONG CopyData(const StoredValue& value, LPBYTE buffer, DWORD capacity) {
  if (buffer == nullptr) return ERROR_SUCCESS;
  size_t size = value.data.size();
  if (size > capacity) return ERROR_MORE_DATA;
  std::memcpy(buffer, value.data.data(), size);
  if (IsString(value.type) && size > 0 && size < capacity && buffer[size - 1] != 0) {
    buffer[size] = 0;
  }
  return ERROR_SUCCESS;
}

FILETIME ToFileTime(int64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return time;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  // The registry refuses a null parent before it touches the result.
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  *phkResult = nullptr;
  return OpenOrCreate(hKey, lpSubKey, samDesired, nullptr, false, phkResult, nullptr);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_BADKEY;
  if (Reserved != 0) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  return OpenOrCreate(hKey, lpSubKey, samDesired, lpClass != nullptr ? lpClass : "",
                      (dwOptions & REG_OPTION_VOLATILE) != 0, phkResult, lpdwDisposition);
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  // A key handle is looked for first: one may share its low bits with a predefined handle.
  // A root stays open, but a watch through its handle ends as any other.
  if (!ruzide::registry::CloseKeyHandle(hKey) && !IsPredefined(hKey)) {
    return ERROR_INVALID_HANDLE;
  }
  ruzide::registry::EndWatch(hKey);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD capacity = lpcbData != nullptr ? *lpcbData : 0;
  if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
  StoredValue value;
  std::string_view name = lpValueName ? lpValueName : "";
  status = key.virtualized ? ruzide::registry::VirtualQueryValue(*key.machine_path, name, &value)
                           : StoreFor(key.root).QueryValue(key.key, name, &value);
  if (status != ERROR_SUCCESS) return status;
  status = CopyData(value, lpData, capacity);
  if (lpType != nullptr) *lpType = value.type;
  if (lpcbData != nullptr) *lpcbData = static_cast<DWORD>(value.data.size());
  return status;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_SET_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  std::string_view name = lpValueName != nullptr ? lpValueName : "";
  if (name.size() > ruzide::registry::kMaxValueNameLength) return ERROR_FILENAME_EXCED_RANGE;
  if (key.virtualized) {
    return ruzide::registry::VirtualSetValue(*key.machine_path, name, dwType, lpData, cbData);
  }
  return StoreFor(key.root).SetValue(key.key, name, dwType, lpData, cbData);
}

namespace {

// The size RegQueryInfoKeyA reports for a value's data. The Windows registry holds
// string data as UTF-16, and reports that size even to the 8-bit functions: twice the
// bytes of single-byte text. Programs size buffers from it, so larger is harmless.
size_t ReportedDataSize(DWORD type, size_t stored) {
  const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  return text ? 2 * stored : stored;
}

}  // namespace

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpClass != nullptr && lpcchClass == nullptr) return ERROR_INVALID_PARAMETER;
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  ruzide::registry::KeySummary summary;
  status = key.virtualized ? ruzide::registry::VirtualSummarize(*key.machine_path, &summary)
                           : StoreFor(key.root).Summarize(key.key, &summary);
  if (status != ERROR_SUCCESS) return status;
  // A class that does not fit with its zero is cut short, and ERROR_MORE_DATA returned
  // after every other answer; a buffer of no size is left alone.
  if (lpcchClass != nullptr) {
    DWORD length = static_cast<DWORD>(summary.key_class.size());
    if (lpClass != nullptr && *lpcchClass > 0) {
      if (length >= *lpcchClass) {
        length = *lpcchClass - 1;
        status = ERROR_MORE_DATA;
      }
      std::memcpy(lpClass, summary.key_class.data(), length);
      lpClass[length] = '\0';
    } else if (lpClass != nullptr) {
      length = 0;
    }
    *lpcchClass = length;
  }
  size_t max_subkey = 0, max_class = 0, max_name = 0, max_data = 0;
  for (const auto& subkey : *summary.subkeys) {
    max_subkey = std::max(max_subkey, subkey.name.size());
    max_class = std::max(max_class, subkey.key_class.size());
  }
  for (const auto& value : *summary.values) {
    max_name = std::max(max_name, value.name.size());
    max_data = std::max(max_data, ReportedDataSize(value.value.type, value.value.data.size()));
  }
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(summary.subkeys->size());
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = static_cast<DWORD>(max_subkey);
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = static_cast<DWORD>(max_class);
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(summary.values->size());
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = static_cast<DWORD>(max_name);
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = static_cast<DWORD>(max_data);
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = ToFileTime(summary.last_write);
  return status;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr || lpName == nullptr || lpcchName == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_ENUMERATE_SUB_KEYS, &key);
  if (status != ERROR_SUCCESS) return status;
  ruzide::registry::SubkeyList subkeys;
  status = key.virtualized ? ruzide::registry::VirtualListSubkeys(*key.machine_path, &subkeys)
                           : StoreFor(key.root).ListSubkeys(key.key, &subkeys);
  if (status != ERROR_SUCCESS) return status;
  if (dwIndex >= subkeys->size()) return ERROR_NO_MORE_ITEMS;
  const ruzide::registry::SubkeyEntry& subkey = (*subkeys)[dwIndex];
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = ToFileTime(subkey.last_write);
  // The name and the class asked for must fit with their zeros; otherwise nothing is
  // written.
  DWORD length = static_cast<DWORD>(subkey.name.size());
  DWORD class_length = static_cast<DWORD>(subkey.key_class.size());
  if (length >= *lpcchName ||
      (lpClass != nullptr && lpcchClass != nullptr && class_length >= *lpcchClass)) {
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpName, subkey.name.data(), length);
  lpName[length] = '\0';
  *lpcchName = length;
  if (lpcchClass != nullptr) {
    if (lpClass != nullptr) {
      std::memcpy(lpClass, subkey.key_class.data(), class_length);
      lpClass[class_length] = '\0';
    }
    *lpcchClass = class_length;
  }
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr ||
      lpValueName == nullptr || lpcchValueName == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  ruzide::registry::ValueList values;
  status = key.virtualized ? ruzide::registry::VirtualListValues(*key.machine_path, &values)
                           : StoreFor(key.root).ListValues(key.key, &values);
  if (status != ERROR_SUCCESS) return status;
  if (dwIndex >= values->size()) return ERROR_NO_MORE_ITEMS;
  const ruzide::registry::ValueEntry& entry = (*values)[dwIndex];
  status = CopyData(entry.value, lpData, lpcbData != nullptr ? *lpcbData : 0);
  if (status == ERROR_SUCCESS) {
    // A name that does not fit with its zero is cut short, and the size left as it was.
    DWORD length = static_cast<DWORD>(entry.name.size());
    if (length >= *lpcchValueName) {
      status = ERROR_MORE_DATA;
      length = *lpcchValueName > 0 ? *lpcchValueName - 1 : 0;
      if (*lpcchValueName > 0) {
        std::memcpy(lpValueName, entry.name.data(), length);
        lpValueName[length] = '\0';
      }
    } else {
      std::memcpy(lpValueName, entry.name.data(), length);
      lpValueName[length] = '\0';
      *lpcchValueName = length;
    }
  }
  if (lpType != nullptr) *lpType = entry.value.type;
  if (lpcbData != nullptr) *lpcbData = static_cast<DWORD>(entry.value.data.size());
  return status;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  HandleTarget from;
  if (!ruzide::registry::FindKeyHandle(hKey, &from)) return ERROR_INVALID_HANDLE;
  KeyNames names;
  LONG status = ruzide::registry::SplitKeyPath(lpSubKey, &names);
  if (status != ERROR_SUCCESS) return status;
  // A deletion asks to change the key, so it is virtualized as an open for writing is.
  std::shared_ptr<const MachinePath> machine_path = SoftwarePath(from, names);
  if (Virtualized(from, machine_path, true)) {
    return ruzide::registry::VirtualDeleteKey(*machine_path);
  }
  return StoreFor(from.root).DeleteKey(from.key, names);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_SET_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  std::string_view name = lpValueName != nullptr ? lpValueName : "";
  if (key.virtualized) return ruzide::registry::VirtualDeleteValue(*key.machine_path, name);
  return StoreFor(key.root).DeleteValue(key.key, name);
}

namespace {

// RegNotifyChangeKeyValue for a virtualized handle, which watches both roots.
LONG NotifyVirtual(HKEY hKey, const HandleTarget& key, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                   HANDLE hEvent, BOOL fAsynchronous) {
  HANDLE event = fAsynchronous ? hEvent : CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  LONG status = ruzide::registry::VirtualWatch(*key.machine_path, hKey, bWatchSubtree != FALSE,
                                               dwNotifyFilter, event);
  if (!fAsynchronous) {
    if (status == ERROR_SUCCESS) WaitForSingleObject(event, INFINITE);
    // The other root's watch still holds the event, which is about to close.
    ruzide::registry::EndWatch(hKey);
    CloseHandle(event);
  }
  return status;
}

}  // namespace

LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                             BOOL fAsynchronous) {
  HandleTarget key;
  LONG status = Lookup(hKey, KEY_NOTIFY, &key);
  if (status != ERROR_SUCCESS) return status;
  if ((dwNotifyFilter & ~static_cast<DWORD>(REG_LEGAL_CHANGE_FILTER)) != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  if (fAsynchronous && ruzide::platform::EventDescriptor(hEvent) < 0) return ERROR_INVALID_HANDLE;
  if (key.virtualized)
    return NotifyVirtual(hKey, key, bWatchSubtree, dwNotifyFilter, hEvent, fAsynchronous);
  ruzide::registry::Store& store = StoreFor(key.root);
  std::string shared_file;
  status = store.Watch(key.key, &shared_file);
  if (status != ERROR_SUCCESS) return status;
  HANDLE event = fAsynchronous ? hEvent : CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  ruzide::registry::AddWatch(key.root, shared_file,
                             ruzide::registry::WatchRequest{
                                 hKey, key.key.id, bWatchSubtree != FALSE, dwNotifyFilter, event});
  // A deletion between the check above and the watch's start would go unseen.
  if (store.Watch(key.key, &shared_file) == ERROR_KEY_DELETED) SetEvent(event);
  if (!fAsynchronous) {
    WaitForSingleObject(event, INFINITE);
    CloseHandle(event);
  }
  return ERROR_SUCCESS;
}
