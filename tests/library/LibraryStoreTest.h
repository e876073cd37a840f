// The fixture of the tests that run the common-settings trees on a fresh store: the
// framework tests' IsolatedRegistryTest, plus the trees' key paths and helpers for the
// local-machine root, where the language table lives.
#ifndef RUZIDE_TESTS_LIBRARY_LIBRARYSTORETEST_H_
#define RUZIDE_TESTS_LIBRARY_LIBRARYSTORETEST_H_

#include <cstring>
#include <string>

#include "tests/framework/IsolatedRegistryTest.h"

const std::string kBase = "Software\\Tessary\\Brackenfield\\Common";
const std::string kRegional = kBase + "\\Regional";
const std::string kLanguages = kBase + "\\Languages";

class LibraryStoreTest : public IsolatedRegistryTest {
 protected:
  static void PutMachine(const std::string& path, const char* name, int value) {
    Put(path.c_str(), name, REG_DWORD, &value, 4, HKEY_LOCAL_MACHINE);
  }
  static void PutMachine(const std::string& path, const char* name, const char* text) {
    Put(path.c_str(), name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1), HKEY_LOCAL_MACHINE);
  }
  // The bytes of a value, or "(missing)".
  static std::string Bytes(const std::string& path, const char* name,
                           HKEY root = HKEY_CURRENT_USER) {
    std::string data = "(missing)";
    Stored(path.c_str(), name, &data, nullptr, root);
    return data;
  }
  static std::string MachineValue(const std::string& path, const char* name) {
    return Bytes(path, name, HKEY_LOCAL_MACHINE);
  }
};

#endif  // RUZIDE_TESTS_LIBRARY_LIBRARYSTORETEST_H_
