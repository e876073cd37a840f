// Care of a store that processes keep using: a backup is one state of a store another
// process writes meanwhile; a restore replaces the tree at once for a reader that holds
// it cached; a file that is no sound store is refused, the root untouched; and a damaged
// root is restored, for the processes that found it damaged too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/registry/StoreCare.h"
#include "platform/registry/StoreTransaction.h"
#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

using ruzide::registry::RestoreStore;

class StoreCareTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return folder_.path() + "/" + name; }

  // Backs `root` up into the new file `name`.
  LONG Backup(HKEY root, const std::string& name) {
    close(open(File(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
    return ruzide::registry::BackupStore(root, File(name), &problem_);
  }

  TempStoreFolder folder_;
  std::string problem_;
};

TEST_F(StoreCareTest, ABackupWhileAnotherProcessWritesHoldsAPrefixOfItsWrites) {
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, "Log"));
  Pipe progress;
  Child writer([&] {
    HKEY log = CreateKey(HKEY_CURRENT_USER, "Log");
    for (DWORD i = 1; i <= 600; ++i) {
      if (SetDword(log, ("v" + std::to_string(i)).c_str(), i) != ERROR_SUCCESS) return 1;
      if (i == 100) progress.Send(1);
    }
    return 0;
  });
  ASSERT_EQ(1, progress.Receive());
  ASSERT_EQ(ERROR_SUCCESS, Backup(HKEY_CURRENT_USER, "log.db")) << problem_;
  EXPECT_EQ(0, writer.Wait());
  // The copy, checked as a store and put in the other root, holds v1 to vk and no more.
  ASSERT_EQ(ERROR_SUCCESS, RestoreStore(HKEY_LOCAL_MACHINE, File("log.db"), &problem_)) << problem_;
  HKEY copy = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, "Log", KEY_READ, &copy));
  const std::vector<std::string> names = ValueNames(copy);
  ASSERT_GE(names.size(), 100u);
  for (DWORD i = 1; i <= names.size(); ++i) {
    EXPECT_EQ("v" + std::to_string(i), names[i - 1]);
    EXPECT_EQ(i, QueryDword(copy, names[i - 1].c_str()));
  }
  RegCloseKey(copy);
}

TEST_F(StoreCareTest, ARestoreReplacesTheTreeAtOnceForAReaderThatHoldsItCached) {
  HKEY tree = CreateKey(HKEY_CURRENT_USER, "Tree");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(tree, "a", 2));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(tree, "b", 2));
  ASSERT_EQ(ERROR_SUCCESS, Backup(HKEY_CURRENT_USER, "new.db")) << problem_;
  ASSERT_EQ(ERROR_SUCCESS, SetDword(tree, "a", 1));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(tree, "b", 1));
  Pipe reading;
  // Reads both values in one transaction, again and again: the old pair, then after the
  // restore the new one, never one of each nor the old one again.
  Child reader([&] {
    int rounds_new = 0;
    for (int round = 0; rounds_new < 200; ++round) {
      if (round > 1000000) return 2;  // the restore never showed
      ruzide::registry::BeginTransaction();
      HKEY key = nullptr;
      DWORD a = 0, b = 0;
      if (OpenKey(HKEY_CURRENT_USER, "Tree", KEY_READ, &key) == ERROR_SUCCESS) {
        a = QueryDword(key, "a");
        b = QueryDword(key, "b");
        RegCloseKey(key);
      }
      ruzide::registry::EndTransaction(true);
      if (a != b || a == 0 || (rounds_new > 0 && a == 1)) return 1;
      if (a == 2) ++rounds_new;
      if (round == 10) reading.Send(1);
    }
    return 0;
  });
  ASSERT_EQ(1, reading.Receive());
  ASSERT_EQ(ERROR_SUCCESS, RestoreStore(HKEY_CURRENT_USER, File("new.db"), &problem_)) << problem_;
  EXPECT_EQ(0, reader.Wait());
  // A handle to a key of the old tree finds it gone; the root's stays good.
  EXPECT_EQ(ERROR_KEY_DELETED, QueryStatus(tree, "a"));
  RegCloseKey(tree);
  tree = CreateKey(HKEY_CURRENT_USER, "Tree");
  EXPECT_EQ(2u, QueryDword(tree, "a"));
  RegCloseKey(tree);
}

void Overwrite(const std::string& path, off_t offset, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  ASSERT_EQ(static_cast<ssize_t>(bytes.size()), pwrite(fd, bytes.data(), bytes.size(), offset));
  close(fd);
}

void Sql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
  sqlite3_close(db);
}

TEST_F(StoreCareTest, ARestoreRefusesWhatIsNoSoundStoreAndRepairsADamagedRoot) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "K");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 1));
  ASSERT_EQ(ERROR_SUCCESS, Backup(HKEY_CURRENT_USER, "good.db")) << problem_;
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 2));
  const std::string good = ReadFile(File("good.db"));
  std::ofstream(File("garbage.db")) << std::string(4096, 'x');
  std::ofstream(File("truncated.db")) << good.substr(0, good.size() - 2048);  // a page short
  std::ofstream(File("inner.db")) << good;
  Overwrite(File("inner.db"), 2048, std::string(2048, '\x55'));
  Sql(File("foreign.db"), "CREATE TABLE t(x); PRAGMA user_version=1;");
  std::ofstream(File("version.db")) << good;
  Sql(File("version.db"), "PRAGMA user_version=2;");
  const struct {
    const char* file;
    const char* cause;
  } kRefused[] = {{"garbage.db", "not an SQLite database"},
                  {"truncated.db", "shorter than its header says"},
                  {"inner.db", ""},
                  {"foreign.db", "not a RuzIde store"},
                  {"version.db", "schema version 2"}};
  for (const auto& refused : kRefused) {
    problem_.clear();
    EXPECT_EQ(ERROR_BADDB, RestoreStore(HKEY_CURRENT_USER, File(refused.file), &problem_))
        << refused.file;
    EXPECT_NE(std::string::npos, problem_.find(refused.cause)) << problem_;
    EXPECT_EQ(2u, QueryDword(key, "n")) << refused.file;
  }

  // Damaged under a process that has found it so, and restored by another.
  ruzide::registry::CloseAllStores();
  Overwrite(folder_.DatabaseFile(HKEY_CURRENT_USER), 0, "not a store any more");
  Pipe found, restored;
  Child user([&] {
    LONG status = ERROR_SUCCESS;
    HKEY k = nullptr;
    found.Send(OpenKey(HKEY_CURRENT_USER, "K", KEY_READ, &k));
    if (restored.Receive() != 1 || OpenKey(HKEY_CURRENT_USER, "K", KEY_READ, &k) != 0) return 1;
    return QueryDword(k, "n", &status) == 1 && status == ERROR_SUCCESS ? 0 : 2;
  });
  ASSERT_EQ(ERROR_BADDB, found.Receive());
  ruzide::registry::StoreSummary summary;
  EXPECT_EQ(ERROR_BADDB, ruzide::registry::CheckStore(HKEY_CURRENT_USER, &summary, &problem_));
  EXPECT_EQ("not an SQLite database (its header is wrong)", problem_);
  ASSERT_EQ(ERROR_SUCCESS, RestoreStore(HKEY_CURRENT_USER, File("good.db"), &problem_)) << problem_;
  restored.Send(1);
  EXPECT_EQ(0, user.Wait());
  EXPECT_EQ("not a store any more",
            ReadFile(folder_.DatabaseFile(HKEY_CURRENT_USER) + ".damaged").substr(0, 20));
  EXPECT_EQ(ERROR_SUCCESS, ruzide::registry::CheckStore(HKEY_CURRENT_USER, &summary, &problem_));
  EXPECT_EQ(2, summary.keys);
  EXPECT_EQ(1, summary.values);
}

}  // namespace
