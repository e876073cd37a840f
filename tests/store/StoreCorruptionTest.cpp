// A damaged store file: every call on its root fails with ERROR_BADDB, nothing crashes,
// and the file keeps every byte it had.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

class StoreCorruptionTest : public ::testing::Test {
 protected:
  std::string user_file() const { return folder_.DatabaseFile(HKEY_CURRENT_USER); }

  // Every kind of call on the user root fails with ERROR_BADDB, the machine root still
  // works, and the user root's file still holds `before`.
  void ExpectRootFails(const std::string& before) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_BADDB, OpenKey(HKEY_CURRENT_USER, "Software", KEY_READ, &key));
    EXPECT_EQ(ERROR_BADDB, RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, "v", 1));
    EXPECT_EQ(ERROR_BADDB, QueryStatus(HKEY_CURRENT_USER, "v"));
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_BADDB,
              RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_BADDB, RegDeleteKeyA(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_LOCAL_MACHINE, "v", 1));
    TempStoreFolder::Reopen();
    EXPECT_EQ(before, ReadFile(user_file())) << "the file changed";
  }

  TempStoreFolder folder_;
};

// Garbage, a file cut in half, another program's database and one that holds no table
// yet but is marked as theirs.
TEST_F(StoreCorruptionTest, WhatIsNotAWholeStoreIsRefusedAndKept) {
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
  ExpectRootFails(half);

  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage += static_cast<char>((i * 7919) >> 3);
  WriteFile(user_file(), garbage);
  ExpectRootFails(garbage);

  for (const char* sql :
       {"CREATE TABLE t(x); INSERT INTO t VALUES(1);", "PRAGMA user_version=7;"}) {
    unlink(user_file().c_str());
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(user_file().c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
    sqlite3_close(db);
    ExpectRootFails(ReadFile(user_file()));
  }
}

// A checkpoint that makes the file longer writes its header page before the pages it
// counts. A process that dies in between leaves the file shorter than its header says,
// with those pages still in the WAL: no damage, as the next checkpoint writes them.
TEST_F(StoreCorruptionTest, ACheckpointCutShortIsNoDamage) {
  ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
  TempStoreFolder::Reopen();
  auto value = [](int i) { return std::string(100, static_cast<char>('a' + i % 26)); };
  pid_t writer = fork();
  if (writer == 0) {
    // Grows the database in the WAL, then dies without closing it.
    HKEY key = CreateKey(HKEY_CURRENT_USER, "Software");
    for (int i = 0; i < 300; ++i) SetString(key, ("v" + std::to_string(i)).c_str(), value(i));
    _exit(0);
  }
  ASSERT_EQ(writer, waitpid(writer, nullptr, 0));
  // The checkpoint's first step: the newest page 1 from the WAL into the file.
  constexpr size_t kWalHeader = 32, kFrameHeader = 24, kPage = 2048;
  std::string wal = ReadFile(user_file() + "-wal");
  size_t newest = 0;
  for (size_t at = kWalHeader; at + kFrameHeader + kPage <= wal.size();
       at += kFrameHeader + kPage) {
    if (wal.compare(at, 4, std::string("\0\0\0\1", 4)) == 0) newest = at + kFrameHeader;
  }
  ASSERT_NE(0u, newest);
  std::string file = ReadFile(user_file());
  file.replace(0, kPage, wal, newest, kPage);
  WriteFile(user_file(), file);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_CURRENT_USER, "Software", KEY_READ, &key));
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(value(i) + '\0', QueryBytes(key, ("v" + std::to_string(i)).c_str()));
  }
  RegCloseKey(key);
  TempStoreFolder::Reopen();
  EXPECT_EQ("ok", folder_.IntegrityCheck(HKEY_CURRENT_USER));
}

TEST_F(StoreCorruptionTest, AnEmptyFileBecomesAStore) {
  WriteFile(user_file(), "");
  EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
  EXPECT_EQ(1u, QueryDword(HKEY_CURRENT_USER, "v"));
}

}  // namespace
