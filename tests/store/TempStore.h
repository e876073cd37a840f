// Fixtures that give each test a registry of its own.
//
// TempStoreFolder (not on Windows) points the embedded store at a new, empty folder for
// as long as it lives. ScratchKey is the seam of the conformance suite: a new empty key to
// work under, in a fresh store here, and under Windows a uniquely named key below
// HKEY_CURRENT_USER\Software\RuzIdeTest that is deleted with its subkeys afterwards, so
// that the same tests can run against the real registry.
#ifndef RUZIDE_TESTS_STORE_TEMPSTORE_H_
#define RUZIDE_TESTS_STORE_TEMPSTORE_H_

#include <string>

#include "platform/WinReg.h"

#ifndef _WIN32
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/registry/RegistryStore.h"

// The whole content of a file; empty if there is none.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh store in a new folder under $TMPDIR (or /tmp).
//
// The constructor creates the folder, points RUZIDE_REGISTRY at it, unsets
// RUZIDE_REGISTRY_READONLY and closes every open store, so the next registry call opens
// the new, empty one. The destructor closes the stores again, removes the folder and
// restores both variables. Key handles do not survive either step.
class TempStoreFolder {
 public:
  TempStoreFolder() : saved_folder_(Save("RUZIDE_REGISTRY")), saved_read_only_(Save(kReadOnly)) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/ruzide-store-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    setenv("RUZIDE_REGISTRY", path_.c_str(), 1);
    unsetenv(kReadOnly);
    Reopen();
  }
  ~TempStoreFolder() {
    Reopen();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    Restore("RUZIDE_REGISTRY", saved_folder_);
    Restore(kReadOnly, saved_read_only_);
  }
  TempStoreFolder(const TempStoreFolder&) = delete;
  TempStoreFolder& operator=(const TempStoreFolder&) = delete;

  // The folder that holds the databases.
  const std::string& path() const { return path_; }
  // The database file of `root` in the folder.
  std::string DatabaseFile(HKEY root) const { return ruzide::registry::StoreDatabasePath(root); }
  // The .gen file beside it, which holds the generation counter and the store lock.
  std::string GenFile(HKEY root) const {
    std::string database = DatabaseFile(root);
    return database.substr(0, database.size() - 3) + ".gen";
  }
  // What SQLite's integrity check says of the root's database: "ok" if it is sound.
  std::string IntegrityCheck(HKEY root) const {
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open_v2(DatabaseFile(root).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
      sqlite3_exec(
          db, "PRAGMA integrity_check",
          [](void* out, int, char** columns, char**) {
            *static_cast<std::string*>(out) += columns[0];
            return 0;
          },
          &result, nullptr);
    }
    sqlite3_close(db);
    return result;
  }
  // Closes every store: the next call re-reads the environment and the files. Use it to
  // see what a new process would see, or after changing RUZIDE_REGISTRY_READONLY.
  static void Reopen() { ruzide::registry::CloseAllStores(); }

 private:
  static constexpr const char* kReadOnly = "RUZIDE_REGISTRY_READONLY";
  using Saved = std::optional<std::string>;
  static Saved Save(const char* name) {
    const char* value = getenv(name);
    return value != nullptr ? Saved(value) : std::nullopt;
  }
  static void Restore(const char* name, const Saved& saved) {
    if (saved) setenv(name, saved->c_str(), 1);
    if (!saved) unsetenv(name);
  }

  Saved saved_folder_;
  Saved saved_read_only_;
  std::string path_;
};
#endif  // !_WIN32

// A new, empty key for one test, opened with KEY_ALL_ACCESS.
class ScratchKey {
 public:
  ScratchKey() {
#ifdef _WIN32
    static int serial = 0;
    path_ = "Software\\RuzIdeTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial);
#else
    path_ = "Scratch";
#endif
    RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
  }
  ~ScratchKey() {
    RegCloseKey(key_);
#ifdef _WIN32
    DeleteTree(HKEY_CURRENT_USER, path_);
#endif
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  HKEY get() const { return key_; }

 private:
#ifdef _WIN32
  static void DeleteTree(HKEY parent, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
      DeleteTree(key, name);
      size = sizeof name;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
  }
#else
  TempStoreFolder folder_;  // constructed first: the key lives in it
#endif
  std::string path_;
  HKEY key_ = nullptr;
};

#endif  // RUZIDE_TESTS_STORE_TEMPSTORE_H_
