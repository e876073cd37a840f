// A test fixture that gives each test a fresh, empty registry store folder, and helpers
// that look at the store directly, beside the framework.
#ifndef RUZIDE_TESTS_FRAMEWORK_STOREFIXTURE_H_
#define RUZIDE_TESTS_FRAMEWORK_STOREFIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "framework/RegDeclHive.h"
#include "framework/store/RegistryCalls.h"
#include "platform/WinReg.h"
#include "tests/store/TempStore.h"

#ifdef _WIN32
// The system registry cannot be swapped for an empty one, so each test removes afterwards
// every key it added directly below HKEY_CURRENT_USER and below its Software key.
class RegistrySandbox {
 public:
  RegistrySandbox() : top_(SubKeys("")), software_(SubKeys("Software")) {}
  ~RegistrySandbox() {
    RemoveAddedBelow("", top_);
    RemoveAddedBelow("Software", software_);
  }

 private:
  static std::set<std::string> SubKeys(const std::string& path) {
    std::set<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.empty() ? nullptr : path.c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
      return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      names.insert(name);
    }
    RegCloseKey(key);
    return names;
  }
  static void RemoveAddedBelow(const std::string& path, const std::set<std::string>& before) {
    for (const std::string& name : SubKeys(path)) {
      if (before.count(name)) continue;
      std::string full = path.empty() ? name : path + "\\" + name;
      RegDeleteTreeA(HKEY_CURRENT_USER, full.c_str());
      RegDeleteKeyA(HKEY_CURRENT_USER, full.c_str());
    }
  }
  std::set<std::string> top_, software_;
};
typedef RegistrySandbox IsolatedRegistry;
#else
typedef TempStoreFolder IsolatedRegistry;
#endif

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetCounts(); }
  static void ResetCounts() { ruzide::store::ResetCallCounts(); }

  // Registry writes (RegSetValueExA) made by the framework since the test began.
  static long Writes() { return ruzide::store::GetCallCounts().writes; }
  static long Calls() {
    const ruzide::store::CallCounts& c = ruzide::store::GetCallCounts();
    return c.opens + c.queries + c.writes + c.infos + c.enums + c.deletes;
  }

  static bool KeyThere(const char* path, HKEY root = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  // The bytes and type of a stored value; false when it is missing.
  static bool Stored(const char* path, const char* name, std::string* data, DWORD* type = nullptr,
                     HKEY root = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    BYTE buffer[8192];
    DWORD size = sizeof buffer, t = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &t, buffer, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    if (data) data->assign(reinterpret_cast<char*>(buffer), size);
    if (type) *type = t;
    return true;
  }
  static bool ValueThere(const char* path, const char* name) {
    return Stored(path, name, nullptr);
  }
  static int StoredInt(const char* path, const char* name) {
    std::string data;
    if (!Stored(path, name, &data) || data.size() != 4) return -12345;
    int v;
    memcpy(&v, data.data(), 4);
    return v;
  }

  static void Put(const char* path, const char* name, DWORD type, const void* data, DWORD size,
                  HKEY root = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }
  static void PutInt(const char* path, const char* name, int value) {
    Put(path, name, REG_DWORD, &value, 4);
  }
  static void PutString(const char* path, const char* name, const char* text, DWORD type = REG_SZ) {
    Put(path, name, type, text, static_cast<DWORD>(strlen(text) + 1));
  }
  static void MakeKey(const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
  }

 private:
  IsolatedRegistry registry_;
};

#endif  // RUZIDE_TESTS_FRAMEWORK_STOREFIXTURE_H_
