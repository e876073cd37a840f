// What is particular to the embedded store: its files, read-only roots, exact limits and
// the handles it refuses.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

class StoreTest : public ::testing::Test {
 protected:
  TempStoreFolder folder_;
};

TEST_F(StoreTest, EachRootPersistsInItsOwnFile) {
  HKEY user = CreateKey(HKEY_CURRENT_USER, "Software\\App");
  HKEY machine = CreateKey(HKEY_LOCAL_MACHINE, "Software\\App");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(user, "who", 1));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(machine, "who", 2));
  struct stat info;
  ASSERT_EQ(0, stat((folder_.path() + "/HKEY_LOCAL_MACHINE.db").c_str(), &info));
  ASSERT_EQ(0, stat((folder_.path() + "/HKEY_CURRENT_USER.db").c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);
  TempStoreFolder::Reopen();  // as a new process would find them
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_CURRENT_USER, "SOFTWARE\\app", KEY_READ, &key));
  EXPECT_EQ(1u, QueryDword(key, "who"));
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, "Software\\App", KEY_READ, &key));
  EXPECT_EQ(2u, QueryDword(key, "who"));
  RegCloseKey(key);
}

TEST_F(StoreTest, HandlesOutsideTheTwoRootsAreInvalid) {
  int local = 0;
  HKEY made_up = reinterpret_cast<HKEY>(&local);
  HKEY key = nullptr;
  for (HKEY handle : {HKEY_CLASSES_ROOT, HKEY_USERS, made_up}) {
    EXPECT_EQ(ERROR_INVALID_HANDLE, OpenKey(handle, "x", KEY_READ, &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, SetDword(handle, "x", 1));
  }
  HKEY closed = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
  HKEY reopened = CreateKey(HKEY_CURRENT_USER, "k");  // may take the closed one's place
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(closed));
  EXPECT_EQ(ERROR_INVALID_HANDLE, SetDword(closed, "x", 1));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(reopened));
}

TEST_F(StoreTest, NameAndDepthLimitsAreExact) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            OpenKey(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), KEY_READ, &key));
  EXPECT_EQ(nullptr, CreateKey(HKEY_CURRENT_USER, std::string(256, 'k').c_str()));
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, std::string(255, 'k').c_str()));
  EXPECT_EQ(std::vector<std::string>{std::string(255, 'k')}, SubkeyNames(HKEY_CURRENT_USER));
  std::string path = "d";
  for (int depth = 2; depth <= 512; ++depth) path += "\\d";
  key = CreateKey(HKEY_CURRENT_USER, path.c_str());
  ASSERT_NE(nullptr, key);
  HKEY deeper = nullptr;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(key, "deeper", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                     nullptr, &deeper, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, std::string(16383, 'v').c_str(), 1));
  EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, SetDword(key, std::string(16384, 'v').c_str(), 1));
  RegCloseKey(key);
}

// A root named in RUZIDE_REGISTRY_READONLY: without a database it reads as empty and none
// is made; with one it is read, and handles to it, even asking for the most that is
// allowed, can only read. The other root is unaffected.
TEST_F(StoreTest, AListedRootIsReadOnly) {
  setenv("RUZIDE_REGISTRY_READONLY", "hkcu, HKEY_LOCAL_MACHINE", 1);
  TempStoreFolder::Reopen();
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenKey(HKEY_LOCAL_MACHINE, "", KEY_ALL_ACCESS, &key));
  EXPECT_EQ(nullptr, CreateKey(HKEY_LOCAL_MACHINE, "x"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_LOCAL_MACHINE, "v", 1));
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, "", KEY_READ, &key));
  EXPECT_TRUE(SubkeyNames(key).empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, QueryStatus(key, "v"));
  EXPECT_FALSE(std::filesystem::exists(folder_.DatabaseFile(HKEY_LOCAL_MACHINE)));
  EXPECT_FALSE(std::filesystem::exists(folder_.DatabaseFile(HKEY_CURRENT_USER)));

  unsetenv("RUZIDE_REGISTRY_READONLY");
  TempStoreFolder::Reopen();
  key = CreateKey(HKEY_LOCAL_MACHINE, "Languages");
  ASSERT_EQ(ERROR_SUCCESS, SetString(key, "Language1", "English"));
  RegCloseKey(key);
  setenv("RUZIDE_REGISTRY_READONLY", "HKLM", 1);
  TempStoreFolder::Reopen();
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenKey(HKEY_LOCAL_MACHINE, "Languages", 0x2001F, &key));
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, "Languages", MAXIMUM_ALLOWED, &key));
  EXPECT_EQ(std::string("English", 8), QueryBytes(key, "Language1"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(key, "v", 1));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(key, "Language1"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Languages"));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
}

// A store from before keys had classes, values an order and runs of keys their shared
// times: a process that may not write it reads it as it is, values in name order; the
// first writer adds what it lacks, and values set afterwards come after the old ones.
TEST_F(StoreTest, AStoreWithoutClassesOrValueOrderIsReadAndCompleted) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "k", nullptr, "class");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "b", 1));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "a", 1));
  RegCloseKey(key);
  TempStoreFolder::Reopen();
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(folder_.DatabaseFile(HKEY_CURRENT_USER).c_str(), &db));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db,
                                    "DROP INDEX IF EXISTS vals_order;"
                                    "ALTER TABLE keys DROP COLUMN class;"
                                    "ALTER TABLE vals DROP COLUMN seq;"
                                    "DROP TABLE times;",
                                    nullptr, nullptr, nullptr));
  int keep_wal = 1;  // as the store does, so that a reader finds the WAL's files
  sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep_wal);
  sqlite3_close(db);
  DWORD length = 0;
  for (const char* listed : {"HKCU", ""}) {
    setenv("RUZIDE_REGISTRY_READONLY", listed, 1);
    TempStoreFolder::Reopen();
    ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_CURRENT_USER, "k", KEY_READ, &key));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), ValueNames(key));
    EXPECT_EQ(std::vector<std::string>{"k"}, SubkeyNames(HKEY_CURRENT_USER));
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(key, nullptr, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, length);
    RegCloseKey(key);
  }
  key = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "0", 1));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "0"}), ValueNames(key));
  RegCloseKey(key);
  EXPECT_EQ("ok", folder_.IntegrityCheck(HKEY_CURRENT_USER));
}

TEST_F(StoreTest, ThreadsShareTheStoreSafely) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      std::string path = "Threads\\T" + std::to_string(t);
      for (DWORD i = 0; i < 200; ++i) {
        HKEY key = CreateKey(HKEY_CURRENT_USER, path.c_str());
        if (SetDword(key, "n", i) != ERROR_SUCCESS || QueryDword(key, "n") != i) ++failures[t];
        SubkeyNames(HKEY_CURRENT_USER);
        RegCloseKey(key);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(std::vector<int>(4, 0), failures);
}

// Without RUZIDE_REGISTRY the user root lives under $XDG_CONFIG_HOME (an empty one counts
// as unset), else under $HOME, else under the account's home directory, and the machine
// root in /var/lib/ruzide. Each case runs in a child with its own environment; its exit
// status names the first check that failed.
TEST_F(StoreTest, DefaultFoldersFollowTheEnvironment) {
  using ruzide::registry::StoreDatabasePath;
  const std::string base = folder_.path(), db = "/ruzide/HKEY_CURRENT_USER.db";
  const passwd* account = getpwuid(getuid());
  const struct {
    std::string xdg, home, user;  // an empty HOME is unset
  } kCases[] = {
      {base + "/config", base + "/home", base + "/config" + db},
      {"", base + "/home", base + "/home/.config" + db},
      {"", "", account ? std::string(account->pw_dir) + "/.config" + db : ""},
  };
  for (const auto& c : kCases) {
    if (c.user.empty()) continue;
    Child child([&] {
      unsetenv("RUZIDE_REGISTRY");
      setenv("XDG_CONFIG_HOME", c.xdg.c_str(), 1);
      if (c.home.empty()) unsetenv("HOME");
      if (!c.home.empty()) setenv("HOME", c.home.c_str(), 1);
      TempStoreFolder::Reopen();
      if (StoreDatabasePath(HKEY_CURRENT_USER) != c.user) return 1;
      if (StoreDatabasePath(HKEY_LOCAL_MACHINE) != "/var/lib/ruzide/HKEY_LOCAL_MACHINE.db")
        return 2;
      if (c.xdg.empty()) return 0;
      // The user root is created there, in a private folder.
      struct stat info;
      if (SetDword(HKEY_CURRENT_USER, "v", 1) != ERROR_SUCCESS || stat(c.user.c_str(), &info) != 0)
        return 3;
      return stat((c.xdg + "/ruzide").c_str(), &info) == 0 && (info.st_mode & 0777) == 0700 ? 0 : 4;
    });
    EXPECT_EQ(0, child.Wait()) << c.user;
  }
}

}  // namespace
