// A damaged store file: every call on its root fails with ERROR_BADDB, nothing crashes,
// and the file keeps every byte it had.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class StoreCorruptionTest : public ::testing::Test {
 protected:
  std::string user_file() const { return folder_.DatabaseFile(HKEY_CURRENT_USER); }

  // Every kind of call on the user root fails with ERROR_BADDB, and the machine root
  // still works.
  void ExpectRootFails() {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_BADDB, OpenKey(HKEY_CURRENT_USER, "Software", KEY_READ, &key));
    EXPECT_EQ(ERROR_BADDB, RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, "v", 1));
    LONG status;
    QueryBytes(HKEY_CURRENT_USER, "v", &status);
    EXPECT_EQ(ERROR_BADDB, status);
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_BADDB,
              RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_BADDB, RegDeleteKeyA(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_LOCAL_MACHINE, "v", 1));
  }

  TempStoreFolder folder_;
};

TEST_F(StoreCorruptionTest, GarbageIsRefusedAndKept) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage += static_cast<char>((i * 7919) >> 3);
  WriteFile(user_file(), garbage);
  ExpectRootFails();
  TempStoreFolder::Reopen();
  EXPECT_EQ(garbage, ReadFile(user_file()));
}

TEST_F(StoreCorruptionTest, TruncatedFileIsRefusedAndKept) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Software");
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(ERROR_SUCCESS,
              SetString(key, ("v" + std::to_string(i)).c_str(), std::string(100, 'x')));
  }
  RegCloseKey(key);
  TempStoreFolder::Reopen();
  std::string whole = ReadFile(user_file());
  ASSERT_GT(whole.size(), 16384u);
  std::string half = whole.substr(0, whole.size() / 2);
  WriteFile(user_file(), half);
  ExpectRootFails();
  TempStoreFolder::Reopen();
  EXPECT_EQ(half, ReadFile(user_file()));
}

TEST_F(StoreCorruptionTest, AnotherProgramsDatabaseIsRefusedAndKept) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(user_file().c_str(), &db));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr,
                                    nullptr, nullptr));
  sqlite3_close(db);
  std::string before = ReadFile(user_file());
  ExpectRootFails();
  TempStoreFolder::Reopen();
  EXPECT_EQ(before, ReadFile(user_file()));
}

TEST_F(StoreCorruptionTest, AnEmptyFileBecomesAStore) {
  WriteFile(user_file(), "");
  EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
  EXPECT_EQ(1u, QueryDword(HKEY_CURRENT_USER, "v"));
}

}  // namespace
