// The store lock between processes: one that dies holding it holds up no one and loses no
// committed write, nor does a copy of the files taken while it was held; a call waits for
// it a minute at most, opening included; a reader that cannot take it (it may not write the .gen
// file) still reads whole values while the store is written, and no checkpoint overwrites what it
// is reading; programs that use SQLite's own locking, or the byte lock of older versions,
// cannot write while the store is open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/WinEvent.h"
#include "platform/registry/ChangeLog.h"
#include "platform/registry/GenerationCounter.h"
#include "platform/registry/RegistryStore.h"
#include "platform/registry/SharedFile.h"
#include "platform/registry/StoreLock.h"
#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

using ruzide::registry::GenerationCounter;
using ruzide::registry::SharedFile;
using ruzide::registry::StoreLock;

LONG SetBinary(HKEY key, const char* name, const std::string& bytes) {
  return RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

// A value of 1000 bytes: `stamp`, then bytes derived from it.
std::string Stamped(int stamp) {
  std::string bytes(1000, '\0');
  std::memcpy(&bytes[0], &stamp, sizeof stamp);
  for (size_t i = sizeof stamp; i < bytes.size(); ++i) bytes[i] = static_cast<char>(stamp * 31 + i);
  return bytes;
}

// The stamp of a value Stamped made, or -1 for anything else: a torn or mixed value.
int StampOf(const std::string& bytes) {
  int stamp = -1;
  if (bytes.size() >= sizeof stamp) std::memcpy(&stamp, bytes.data(), sizeof stamp);
  return stamp >= 0 && bytes == Stamped(stamp) ? stamp : -1;
}

// Makes this process one that may read the store's files but not write the .gen file
// `gen`, which the test has made read-only: root, whom file modes do not stop, becomes
// another user.
bool BecomeOutsideReader(const std::string& gen) {
  return LeaveRoot() && access(gen.c_str(), W_OK) != 0;
}

class StoreLockTest : public ::testing::Test {
 protected:
  // In a child: takes the user root's store lock (and begins a commit if `committing`),
  // sends its process id through `holding` and waits to be killed.
  int HoldLock(Pipe* holding, bool committing) {
    SharedFile file;
    if (!file.Open(folder_.GenFile(HKEY_CURRENT_USER), 0)) return 1;
    StoreLock lock;
    lock.Attach(&file);
    GenerationCounter counter;
    counter.Attach(file.generation(), true);
    if (lock.Acquire(INT64_MAX) != ERROR_SUCCESS) return 1;
    if (committing) counter.BeginCommit();
    holding->Send(getpid());
    pause();
    return 0;
  }
  TempStoreFolder folder_;
};

TEST_F(StoreLockTest, AProcessKilledHoldingTheLockHoldsUpNoOne) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 1));
  // Dies holding the lock in the middle of a commit, as far as the counter shows.
  Pipe holding;
  Child holder([&] { return HoldLock(&holding, true); });
  holding.CloseSendingEnd();
  ASSERT_GT(holding.Receive(), 0);
  holder.Kill();
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "n", 2));
  EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "n", 3));  // the lock is whole again
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(3u, QueryDword(key, "n"));
  RegCloseKey(key);
}

// A reader may cache what it read only across an even, unchanged counter, so a commit
// must read odd while it runs and end on an even value no reader has seen, also when a
// dead writer left the counter odd.
TEST(GenerationCounterTest, EveryCommitReadsOddAndEndsOnANewEvenValue) {
  for (uint64_t start : {uint64_t{4}, uint64_t{5}}) {
    uint64_t word = start;
    GenerationCounter counter;
    counter.Attach(&word, true);
    counter.BeginCommit();
    EXPECT_FALSE(GenerationCounter::Stable(counter.Load())) << start;
    uint64_t ended = counter.EndCommit();
    EXPECT_TRUE(GenerationCounter::Stable(ended)) << start;
    EXPECT_GT(ended, start + 1) << start;
  }
}

// Most of a write is spent holding the store lock, so killing a writer at a varying moment
// mostly kills it there, at a varying point of its transaction.
TEST_F(StoreLockTest, WritersKilledMidWriteLoseNoCommittedValue) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Killed");
  for (int round = 0; round < 12; ++round) {
    auto name = [round](int i) { return std::to_string(round) + "-" + std::to_string(i); };
    Pipe committed;
    Child writer([&] {
      for (int i = 0;; ++i) {
        if (SetDword(key, name(i).c_str(), i) != ERROR_SUCCESS) return 1;
        committed.Send(i);
      }
    });
    committed.CloseSendingEnd();
    int last = -1;
    while (last < 10 + round * 13) last = committed.Receive();
    writer.Kill();
    for (int more = committed.Receive(); more >= 0; more = committed.Receive()) last = more;
    for (int i = 0; i <= last; ++i)
      ASSERT_EQ(static_cast<DWORD>(i), QueryDword(key, name(i).c_str()));
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "after", round));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  }
  RegCloseKey(key);
  EXPECT_EQ("ok", folder_.IntegrityCheck(HKEY_CURRENT_USER));
}

// What a backup, a snapshot or a power cut leaves: the files as they were at a moment when
// a writer, here stopped at random in its loop, most likely held the lock.
TEST_F(StoreLockTest, ACopyTakenWhileAWriterWorksOpensAtOnce) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 0));
  Child writer([&] {
    for (DWORD i = 1;; ++i) {
      if (SetDword(key, "n", i) != ERROR_SUCCESS) return 1;
    }
  });
  namespace fs = std::filesystem;
  std::vector<std::string> copies;
  for (int i = 0; i < 20; ++i) {
    usleep(2000 + i * 397);
    kill(writer.pid(), SIGSTOP);
    copies.push_back(folder_.path() + "/copy" + std::to_string(i));
    fs::create_directory(copies.back());
    for (const char* suffix : {".db", ".db-wal", ".db-shm", ".gen"}) {
      std::string from = folder_.path() + "/HKEY_CURRENT_USER" + suffix;
      fs::copy_file(from, copies.back() + "/HKEY_CURRENT_USER" + suffix);
    }
    kill(writer.pid(), SIGCONT);
  }
  writer.Kill();
  RegCloseKey(key);
  for (const std::string& copy : copies) {
    setenv("RUZIDE_REGISTRY", copy.c_str(), 1);
    TempStoreFolder::Reopen();
    auto started = std::chrono::steady_clock::now();
    HKEY own = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_CURRENT_USER, "k", KEY_ALL_ACCESS, &own)) << copy;
    EXPECT_EQ(ERROR_SUCCESS, SetDword(own, "n", 0));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << copy;
    RegCloseKey(own);
  }
}

// The wait is bounded from the call's start, opening the store included, and not once
// for opening and again for the call.
TEST_F(StoreLockTest, ACallWaitsForTheLockNoLongerThanTheLimit) {
  ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "n", 1));
  TempStoreFolder::Reopen();
  Pipe holding;
  Child holder([&] { return HoldLock(&holding, false); });
  holding.CloseSendingEnd();
  ASSERT_GT(holding.Receive(), 0);
  ruzide::registry::SetStoreWaitLimit(1'000'000'000);
  auto started = std::chrono::steady_clock::now();
  const LONG status = QueryStatus(HKEY_CURRENT_USER, "n");
  auto waited = std::chrono::steady_clock::now() - started;
  ruzide::registry::SetStoreWaitLimit(60'000'000'000);
  EXPECT_EQ(ERROR_LOCK_VIOLATION, status);
  EXPECT_GE(waited, std::chrono::seconds(1));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  holder.Kill();
  EXPECT_EQ(1u, QueryDword(HKEY_CURRENT_USER, "n"));
}

TEST_F(StoreLockTest, AnOutsideReaderReadsWholeValuesWhileTheStoreIsWritten) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, "Shared");
  ASSERT_EQ(ERROR_SUCCESS, SetBinary(key, "v", Stamped(0)));
  std::string gen = folder_.GenFile(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(0, chmod(folder_.path().c_str(), 0755));
  ASSERT_EQ(0, chmod(gen.c_str(), 0444));
  Pipe ready, writing;
  Child reader([&] {
    writing.CloseSendingEnd();
    HKEY own = nullptr;
    if (!BecomeOutsideReader(gen)) return 2;
    if (OpenKey(HKEY_LOCAL_MACHINE, "Shared", KEY_READ, &own) != ERROR_SUCCESS) return 3;
    ready.Send(1);
    int seen = 0, reads = 0;
    while (!writing.Ended()) {
      LONG status;
      int stamp = StampOf(QueryBytes(own, "v", &status));
      if (status != ERROR_SUCCESS) return 4;
      if (stamp < 0) return 5;
      if (stamp < seen) return 6;
      seen = stamp;
      ++reads;
    }
    return seen > 0 && reads > 100 ? 0 : 7;
  });
  ready.CloseSendingEnd();
  ASSERT_EQ(1, ready.Receive()) << "the reader stopped with " << reader.Wait();
  // Each write takes two pages, so the WAL is checkpointed and restarted several times.
  for (int i = 1; i <= 3000; ++i) ASSERT_EQ(ERROR_SUCCESS, SetBinary(key, "v", Stamped(i)));
  writing.CloseSendingEnd();
  EXPECT_EQ(0, reader.Wait());
  RegCloseKey(key);
}

// A watcher that may not write the .gen file cannot tell writers that it started, so a
// writer that has just found no watcher does not wake it: the watcher reads the log at
// times in its first moments. After those, writers have looked again and wake it.
TEST_F(StoreLockTest, AnOutsideReadersWatchSeesChangesFromItsStart) {
  // Long enough that the watcher starts well within it after the first write.
  ruzide::registry::SetWatchersRecheck(400'000'000);
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, "Watched");
  std::string gen = folder_.GenFile(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(0, chmod(folder_.path().c_str(), 0755));
  ASSERT_EQ(0, chmod(gen.c_str(), 0444));
  Pipe go, watching;
  Child watcher([&] {
    HKEY own = nullptr;
    if (go.Receive() != 1 || !BecomeOutsideReader(gen)) return 2;
    if (OpenKey(HKEY_LOCAL_MACHINE, "Watched", KEY_READ, &own) != ERROR_SUCCESS) return 3;
    HANDLE changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (int round = 0; round < 2; ++round) {
      if (RegNotifyChangeKeyValue(own, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE) !=
          ERROR_SUCCESS) {
        return 4;
      }
      // Its thread asleep; in the second round, past its first moments.
      usleep(round == 0 ? 50'000 : 850'000);
      watching.Send(round);
      if (WaitForSingleObject(changed, 5000) != WAIT_OBJECT_0) return 10 + round;
    }
    return 0;
  });
  watching.CloseSendingEnd();
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 0));  // finds no watcher
  go.Send(1);
  for (DWORD round = 0; round < 2; ++round) {
    ASSERT_EQ(static_cast<int>(round), watching.Receive()) << watcher.Wait();
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", round + 1));
  }
  EXPECT_EQ(0, watcher.Wait());
  ruzide::registry::SetWatchersRecheck(50'000'000);
  RegCloseKey(key);
}

// SQLite cannot open a WAL database for reading in a folder it may not write unless the
// -wal and -shm files are there, so the last writer to close leaves them.
TEST_F(StoreLockTest, AnOutsideReaderReadsWhenNoWriterHasTheStoreOpen) {
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, "Languages");
  ASSERT_EQ(ERROR_SUCCESS, SetString(key, "Language1", "English"));
  RegCloseKey(key);
  TempStoreFolder::Reopen();
  std::string gen = folder_.GenFile(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(0, chmod(gen.c_str(), 0444));
  ASSERT_EQ(0, chmod(folder_.path().c_str(), 0555));
  Child reader([&] {
    HKEY own = nullptr;
    if (!BecomeOutsideReader(gen) || access(folder_.path().c_str(), W_OK) == 0) return 2;
    if (OpenKey(HKEY_LOCAL_MACHINE, "Languages", KEY_READ, &own) != ERROR_SUCCESS) return 3;
    return QueryBytes(own, "Language1") == std::string("English", 8) ? 0 : 4;
  });
  EXPECT_EQ(0, reader.Wait());
  chmod(folder_.path().c_str(), 0700);
}

TEST_F(StoreLockTest, NoCheckpointOverwritesAnOutsideReadersTransaction) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 0));
  std::string database = folder_.DatabaseFile(HKEY_CURRENT_USER);
  std::string before = ReadFile(database);
  // What an outside reader holds through each of its read transactions (StoreLock.h).
  int fd = open(folder_.GenFile(HKEY_CURRENT_USER).c_str(), O_RDONLY);
  ASSERT_TRUE(ruzide::registry::LockFileByte(fd, F_RDLCK, SharedFile::kReaderByte));
  // Three times as many as the WAL holds before it is checkpointed.
  for (DWORD i = 1; i <= 3000; ++i) ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", i));
  EXPECT_EQ(before, ReadFile(database));
  close(fd);
  for (DWORD i = 1; i <= 1000; ++i) ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", i));
  EXPECT_NE(before, ReadFile(database));
  RegCloseKey(key);
}

TEST_F(StoreLockTest, OtherProgramsCannotWriteWhileTheStoreIsOpen) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 1));
  std::string database = folder_.DatabaseFile(HKEY_CURRENT_USER);
  Pipe open;
  Child program([&] {
    if (open.Receive() != 1) return 2;
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    int write = sqlite3_exec(db, "UPDATE vals SET data = x'02000000'", nullptr, nullptr, nullptr);
    int checkpoint =
        sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    sqlite3_close(db);
    // Nor can the versions that took this byte exclusively as their lock.
    int fd = ::open(folder_.GenFile(HKEY_CURRENT_USER).c_str(), O_RDWR);
    bool old_lock_refused =
        !ruzide::registry::LockFileByte(fd, F_WRLCK, SharedFile::kLockByte) && errno == EAGAIN;
    close(fd);
    return write == SQLITE_BUSY && checkpoint == SQLITE_BUSY && old_lock_refused ? 0 : 1;
  });
  EXPECT_EQ(1u, QueryDword(key, "n"));  // the fork closed the store: this opens it again
  open.Send(1);
  EXPECT_EQ(0, program.Wait());
  TempStoreFolder::Reopen();
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_CURRENT_USER, "k", KEY_READ, &key));
  EXPECT_EQ(1u, QueryDword(key, "n"));
  RegCloseKey(key);
}

}  // namespace
