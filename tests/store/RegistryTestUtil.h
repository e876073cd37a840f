// Small helpers over the ten registry functions, for the store's tests.
#ifndef RUZIDE_TESTS_STORE_REGISTRYTESTUTIL_H_
#define RUZIDE_TESTS_STORE_REGISTRYTESTUTIL_H_

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/WinReg.h"

// Whether the registry is Wine's, which differs from Windows' in points its own tests mark
// as known faults; the store follows Windows.
inline bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Creates (or opens) `path` below `parent` with all access and, if new, `key_class`; null
// on failure.
inline HKEY CreateKey(HKEY parent, const char* path, DWORD* disposition = nullptr,
                      const char* key_class = nullptr) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(parent, path, 0, const_cast<char*>(key_class), 0, KEY_ALL_ACCESS, nullptr,
                      &key, disposition) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

inline LONG OpenKey(HKEY parent, const char* path, REGSAM access, HKEY* key) {
  return RegOpenKeyExA(parent, path, 0, access, key);
}

inline LONG SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

inline LONG SetDword(HKEY key, const char* name, DWORD number) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof number);
}

// The value's bytes, or empty with *status set to the error.
inline std::string QueryBytes(HKEY key, const char* name, LONG* status = nullptr,
                              DWORD* type = nullptr) {
  std::string data(4096, '\0');
  DWORD size = static_cast<DWORD>(data.size());
  LONG result =
      RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&data[0]), &size);
  if (status != nullptr) *status = result;
  data.resize(result == ERROR_SUCCESS ? size : 0);
  return data;
}

// The status with which a query of the value's bytes ends.
inline LONG QueryStatus(HKEY key, const char* name) {
  LONG status;
  QueryBytes(key, name, &status);
  return status;
}

inline DWORD QueryDword(HKEY key, const char* name, LONG* status = nullptr) {
  DWORD number = 0, size = sizeof number;
  LONG result =
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  if (status != nullptr) *status = result;
  return number;
}

// All names `enumerate` lists (RegEnumKeyExA or RegEnumValueA), in enumeration order.
template <class Enumerate>
std::vector<std::string> Names(HKEY key, Enumerate enumerate) {
  std::vector<std::string> names;
  std::string name(16384, '\0');
  for (DWORD index = 0, size = 16384;
       enumerate(key, index, &name[0], &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, size = 16384) {
    names.emplace_back(name.data(), size);
  }
  return names;
}
inline std::vector<std::string> SubkeyNames(HKEY key) { return Names(key, RegEnumKeyExA); }
inline std::vector<std::string> ValueNames(HKEY key) { return Names(key, RegEnumValueA); }

// Everything at and below `path` of `root` as text, to compare registries by: a "[path]"
// line, a "name type bytes" line per value (its bytes in hex, or over 64 of them their
// count and a hash), then each subkey's, in enumeration order. What cannot be read
// shows as "error <status>".
inline std::string Dump(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return "error " + std::to_string(status) + "\n";
  std::string text = "[" + path + "]\n";
  for (const std::string& name : ValueNames(key)) {
    DWORD type = 0, size = 0;
    status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    if (status == ERROR_SUCCESS) {
      status = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(&data[0]), &size);
    }
    text += name + " " + std::to_string(type) + " ";
    if (status != ERROR_SUCCESS) {
      text += "error " + std::to_string(status);
    } else if (size > 64) {
      text += std::to_string(size) + " bytes #" + std::to_string(std::hash<std::string>()(data));
    } else {
      for (unsigned char c : data.substr(0, size)) {
        text += "0123456789abcdef"[c >> 4];
        text += "0123456789abcdef"[c & 15];
      }
    }
    text += "\n";
  }
  const std::vector<std::string> subkeys = SubkeyNames(key);
  RegCloseKey(key);
  for (const std::string& name : subkeys) text += Dump(root, path + "\\" + name);
  return text;
}

#endif  // RUZIDE_TESTS_STORE_REGISTRYTESTUTIL_H_
