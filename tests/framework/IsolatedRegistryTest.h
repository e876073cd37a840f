// A test fixture that gives each test a registry of its own (IsolatedRegistry: a fresh
// store folder; on Windows, the keys a test adds are removed afterwards) and looks at it
// directly, beside the framework.
#ifndef RUZIDE_TESTS_FRAMEWORK_ISOLATEDREGISTRYTEST_H_
#define RUZIDE_TESTS_FRAMEWORK_ISOLATEDREGISTRYTEST_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/RegDeclHive.h"
#include "framework/registry_calls/RegistryCalls.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

class IsolatedRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetCounts(); }
  static void ResetCounts() { ruzide::store::ResetCallCounts(); }

  // Registry writes (RegSetValueExA), and registry calls of any kind, that the framework
  // made since the last ResetCounts.
  static long Writes() { return ruzide::store::GetCallCounts().writes; }
  static long Calls() {
    const ruzide::store::CallCounts& c = ruzide::store::GetCallCounts();
    return c.opens + c.queries + c.writes + c.infos + c.enums + c.deletes;
  }

  static bool KeyThere(const char* path, HKEY root = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    if (OpenKey(root, path, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  // The bytes and type of a stored value; false, with `data` untouched, when it (or its
  // key) is missing.
  static bool Stored(const char* path, const char* name, std::string* data, DWORD* type = nullptr,
                     HKEY root = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    if (OpenKey(root, path, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG status = 0;
    std::string bytes = QueryBytes(key, name, &status, type);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    if (data) *data = bytes;
    return true;
  }
  static bool ValueThere(const char* path, const char* name) { return Stored(path, name, nullptr); }
  static int StoredInt(const char* path, const char* name) {
    std::string data;
    int value = -12345;
    if (Stored(path, name, &data) && data.size() == 4) memcpy(&value, data.data(), 4);
    return value;
  }

  static void Put(const char* path, const char* name, DWORD type, const void* data, DWORD size,
                  HKEY root = HKEY_CURRENT_USER) {
    HKEY key = CreateKey(root, path);
    ASSERT_NE(nullptr, key) << path;
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }
  static void PutInt(const char* path, const char* name, int value) {
    Put(path, name, REG_DWORD, &value, 4);
  }
  static void PutString(const char* path, const char* name, const char* text, DWORD type = REG_SZ) {
    Put(path, name, type, text, static_cast<DWORD>(strlen(text) + 1));
  }
  static void MakeKey(const char* path) { RegCloseKey(CreateKey(HKEY_CURRENT_USER, path)); }

 private:
  IsolatedRegistry registry_;
};

#endif  // RUZIDE_TESTS_FRAMEWORK_ISOLATEDREGISTRYTEST_H_
