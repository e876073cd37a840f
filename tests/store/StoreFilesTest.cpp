// The store's folder and files when they are not what the store made: each fault is
// reported promptly with the code that names it, nothing crashes or waits for ever, and
// nothing another user placed there is followed or written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

// The status of a first call on the user root with the store in `folder`: a read, or a
// write, which makes the store if there is none.
LONG FirstCall(const std::string& folder, bool write = false) {
  setenv("RUZIDE_REGISTRY", folder.c_str(), 1);
  TempStoreFolder::Reopen();
  return write ? SetDword(HKEY_CURRENT_USER, "v", 1) : QueryStatus(HKEY_CURRENT_USER, "v");
}

// In a child, which must finish within five seconds: root, whom file modes do not stop,
// becomes another user first.
int AsAnotherUser(const std::function<int()>& body) {
  Child child([&] {
    alarm(5);
    return LeaveRoot() ? body() : 100;
  });
  return child.Wait();
}

class StoreFilesTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.path() + "/" + name; }
  std::string Database(const std::string& folder) const { return folder + "/HKEY_CURRENT_USER.db"; }
  TempStoreFolder folder_;
};

TEST_F(StoreFilesTest, PathProblemsAreNamedForWhatTheyAre) {
  std::string file = Path("file");
  ASSERT_EQ(0, close(open(file.c_str(), O_CREAT | O_WRONLY, 0600)));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, FirstCall(file));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, FirstCall(file + "/below"));
  EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, FirstCall(Path(std::string(300, 'n'))));
  std::string folder = Path("dir");
  ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
  ASSERT_EQ(0, mkdir(Database(folder).c_str(), 0700));
  EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, FirstCall(folder));
  // A FIFO would block the open of every process that reads it.
  ASSERT_EQ(0, rmdir(Database(folder).c_str()));
  ASSERT_EQ(0, mkfifo(Database(folder).c_str(), 0600));
  Child fifo([&] {
    alarm(5);
    return FirstCall(folder) == ERROR_REGISTRY_IO_FAILED ? 0 : 1;
  });
  EXPECT_EQ(0, fifo.Wait());
  // Unreadable, to another user.
  ASSERT_EQ(0, unlink(Database(folder).c_str()));
  ASSERT_EQ(ERROR_FILE_NOT_FOUND, FirstCall(folder));  // a read makes no store
  ASSERT_NE(0, access(Database(folder).c_str(), F_OK));
  ASSERT_EQ(ERROR_SUCCESS, FirstCall(folder, true));
  ASSERT_EQ(0, chmod(folder_.path().c_str(), 0711));
  ASSERT_EQ(0, chmod(folder.c_str(), 0755));
  ASSERT_EQ(0, chmod(Database(folder).c_str(), 0600));
  if (geteuid() != 0) {
    ASSERT_EQ(0, chmod(Database(folder).c_str(), 0));
  }
  EXPECT_EQ(ERROR_ACCESS_DENIED, AsAnotherUser([&] { return FirstCall(folder); }));
}

// SQLite reads a name that begins with "file:" as a URI, in which "?" starts the query: both
// roots would be the one file "s" outside the folder.
TEST_F(StoreFilesTest, AFolderNamedLikeAUriIsAFolder) {
  std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(0, chdir(folder_.path().c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, FirstCall("file:s?x="));
  EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, QueryStatus(HKEY_LOCAL_MACHINE, "v"));
  EXPECT_TRUE(std::filesystem::exists("file:s?x=/HKEY_CURRENT_USER.db"));
  EXPECT_FALSE(std::filesystem::exists("s"));
  TempStoreFolder::Reopen();
  ASSERT_EQ(0, chdir(cwd.c_str()));
}

// Another user who may write the folder could swap a store file for a link to a file of
// the victim's choosing.
TEST_F(StoreFilesTest, AFolderOthersMayWriteIsRefusedAndLinksAreNotFollowed) {
  std::string victim = Path("victim");
  ASSERT_EQ(0, close(open(victim.c_str(), O_CREAT | O_WRONLY, 0600)));
  std::string shared = Path("shared");
  ASSERT_EQ(0, mkdir(shared.c_str(), 0700));
  ASSERT_EQ(0, chmod(shared.c_str(), 0777));
  EXPECT_EQ(ERROR_ACCESS_DENIED, FirstCall(shared));
  ASSERT_EQ(0, chmod(shared.c_str(), 01777));  // sticky, as /tmp: the files must be the user's
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, FirstCall(shared));
  EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
  if (geteuid() == 0) {
    ASSERT_EQ(0, lchown((Database(shared) + "-shm").c_str(), 65534, 65534));
    EXPECT_EQ(ERROR_ACCESS_DENIED, FirstCall(shared));
  }
  // Links, in a folder of the user's own.
  for (const char* suffix : {".db", ".db-wal", ".db-shm", ".gen"}) {
    std::string folder = Path(std::string("links") + suffix);
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, FirstCall(folder));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "v", 1));
    TempStoreFolder::Reopen();
    std::string link = folder + "/HKEY_CURRENT_USER" + suffix;
    ASSERT_EQ(0, unlink(link.c_str()));
    ASSERT_EQ(0, symlink(victim.c_str(), link.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, FirstCall(folder)) << link;
  }
  EXPECT_EQ(0, std::filesystem::file_size(victim));
}

// A process that reads while the database is read-only to its owner leaves SQLite's side
// files with that mode; once the database is writable again, so must they be.
TEST_F(StoreFilesTest, SideFilesLeftReadOnlyAreRepaired) {
  std::string folder = Path("store");
  ASSERT_EQ(0, chmod(folder_.path().c_str(), 0711));
  ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
  if (geteuid() == 0) {
    ASSERT_EQ(0, chown(folder.c_str(), 65534, 65534));
  }
  auto step = [&](const std::function<int()>& body) { return AsAnotherUser(body); };
  EXPECT_EQ(0, step([&] {
              if (FirstCall(folder) != ERROR_FILE_NOT_FOUND) return 1;
              LONG status = SetDword(HKEY_CURRENT_USER, "v", 1);
              TempStoreFolder::Reopen();  // checkpoints: the side files hold nothing
              return status == ERROR_SUCCESS ? 0 : 2;
            }));
  for (const char* suffix : {"-wal", "-shm"}) unlink((Database(folder) + suffix).c_str());
  EXPECT_EQ(0, step([&] {
              if (chmod(Database(folder).c_str(), 0400) != 0 || FirstCall(folder) != ERROR_SUCCESS)
                return 1;
              return chmod(Database(folder).c_str(), 0600);
            }));
  EXPECT_EQ(0, step([&] {
              FirstCall(folder);
              return SetDword(HKEY_CURRENT_USER, "v", 2) == ERROR_SUCCESS ? 0 : 1;
            }));
}

}  // namespace
