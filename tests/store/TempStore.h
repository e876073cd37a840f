// Fixtures that give each test (or benchmark) a registry of its own: TempStoreFolder off
// Windows, IsolatedRegistry on both, ScratchKey for the conformance suite.
#ifndef RUZIDE_TESTS_STORE_TEMPSTORE_H_
#define RUZIDE_TESTS_STORE_TEMPSTORE_H_

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/WinReg.h"

// The whole content of a file; empty if there is none.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
// Makes the file at `path` hold `bytes` alone.
inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

#ifndef _WIN32
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "platform/registry/RegistryStore.h"

// A fresh store in a new folder under $TMPDIR (or /tmp).
//
// The constructor creates the folder, points RUZIDE_REGISTRY at it, unsets
// RUZIDE_REGISTRY_READONLY and closes every open store, so the next registry call opens
// the new, empty one. The destructor closes the stores again, removes the folder and the
// run-time folders of its volatile keys, and restores both variables. Key handles do not
// survive either step.
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
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      std::string run_time = RunTimeFolder(root);
      if (!run_time.empty()) std::filesystem::remove_all(run_time, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
    Restore("RUZIDE_REGISTRY", saved_folder_);
    Restore(kReadOnly, saved_read_only_);
  }
  TempStoreFolder(const TempStoreFolder&) = delete;
  TempStoreFolder& operator=(const TempStoreFolder&) = delete;

  // The folder that holds the databases.
  const std::string& path() const { return path_; }
  // The database file of `root` in the folder.
  static std::string DatabaseFile(HKEY root) { return ruzide::registry::StoreDatabasePath(root); }
  // The .gen file beside it, which holds the generation counter and the store lock.
  std::string GenFile(HKEY root) const {
    std::string database = DatabaseFile(root);
    return database.substr(0, database.size() - 3) + ".gen";
  }
  // The folder of the root's volatile keys (empty before the root's database exists).
  std::string RunTimeFolder(HKEY root) const { return ruzide::registry::StoreRunTimeFolder(root); }
  // What SQLite's integrity check says of the root's database: "ok" if it is sound.
  static std::string IntegrityCheck(HKEY root) {
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

// Off Windows a registry of the test's own is a fresh store folder.
typedef TempStoreFolder IsolatedRegistry;
#else
// On Windows, where the system registry cannot be swapped for an empty one: remembers
// which keys exist below HKEY_CURRENT_USER, HKEY_CURRENT_USER\Software and
// HKEY_LOCAL_MACHINE\Software, and at its end deletes, with all they hold, those added
// there since. Values added to keys that existed before stay.
class IsolatedRegistry {
 public:
  IsolatedRegistry() {
    for (Area& area : areas_) area.before = Names(area.root, area.path);
  }
  ~IsolatedRegistry() {
    for (const Area& area : areas_) {
      for (const std::string& name : Names(area.root, area.path)) {
        if (std::find(area.before.begin(), area.before.end(), name) != area.before.end()) continue;
        const std::string full = *area.path ? std::string(area.path) + "\\" + name : name;
        RegDeleteTreeA(area.root, full.c_str());
        RegDeleteKeyA(area.root, full.c_str());
      }
    }
  }
  IsolatedRegistry(const IsolatedRegistry&) = delete;
  IsolatedRegistry& operator=(const IsolatedRegistry&) = delete;

 private:
  struct Area {
    HKEY root;
    const char* path;
    std::vector<std::string> before;
  };
  static std::vector<std::string> Names(HKEY root, const char* path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[256];
    for (DWORD i = 0, size = sizeof name;
         RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name) {
      names.push_back(name);
    }
    RegCloseKey(key);
    return names;
  }
  Area areas_[3] = {{HKEY_CURRENT_USER, "", {}},
                    {HKEY_CURRENT_USER, "Software", {}},
                    {HKEY_LOCAL_MACHINE, "Software", {}}};
};
#endif  // !_WIN32

// A new, empty key for one test, opened with KEY_ALL_ACCESS: in a fresh store, or on
// Windows a uniquely named key below HKEY_CURRENT_USER\Software\RuzIdeTest deleted with
// its subkeys afterwards, so that the same tests run against the real registry.
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
    RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
#endif
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  HKEY get() const { return key_; }
  const std::string& path() const { return path_; }  // below HKEY_CURRENT_USER

 private:
#ifndef _WIN32
  TempStoreFolder folder_;  // constructed first: the key lives in it
#endif
  std::string path_;
  HKEY key_ = nullptr;
};

#endif  // RUZIDE_TESTS_STORE_TEMPSTORE_H_
