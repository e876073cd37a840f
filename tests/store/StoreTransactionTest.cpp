// Transactions that span registry calls, by guarantee: all or nothing, also when the
// writer is killed inside one; isolation between processes running them at once; and
// caches, in this process and others, after a rollback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "platform/registry/StoreCare.h"
#include "platform/registry/StoreTransaction.h"
#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

using ruzide::registry::BeginTransaction;
using ruzide::registry::EndTransaction;

constexpr int kValues = 16;

std::string ValueName(int i) { return "v" + std::to_string(i); }

// Sets every value of `key` to `round`, in one transaction.
LONG WriteRound(HKEY key, DWORD round) {
  BeginTransaction();
  for (int i = 0; i < kValues; ++i) SetDword(key, ValueName(i).c_str(), round);
  return EndTransaction(true);
}

// The rounds the values of `key` hold, read in one transaction, so as of one moment.
std::vector<DWORD> ReadRounds(HKEY key) {
  std::vector<DWORD> rounds;
  BeginTransaction();
  for (int i = 0; i < kValues; ++i) rounds.push_back(QueryDword(key, ValueName(i).c_str()));
  EndTransaction(true);
  return rounds;
}

int64_t LastWrite(HKEY key) {
  FILETIME time = {};
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, &time);
  return (int64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The last-write times of the subkeys of `key`, by enumeration.
std::vector<int64_t> ListedTimes(HKEY key) {
  std::vector<int64_t> times;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    FILETIME time = {};
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, &time) != ERROR_SUCCESS)
      break;
    times.push_back((int64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
  }
  return times;
}

void SleepMicros(long micros) {
  timespec pause = {micros / 1'000'000, (micros % 1'000'000) * 1000};
  nanosleep(&pause, nullptr);
}

class StoreTransactionTest : public ::testing::Test {
 protected:
  TempStoreFolder folder_;
};

// A writer killed at random moments, nearly always inside a transaction: the database
// stays sound, and every reader, this process through its cache included, sees whole
// rounds that never go back.
TEST_F(StoreTransactionTest, AWriterKilledInsideATransactionLeavesAllOrNothing) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Batch");
  ASSERT_EQ(ERROR_SUCCESS, WriteRound(key, 0));
  std::mt19937 random(20261206);
  DWORD last = 0;
  for (int kill = 0; kill < 200; ++kill) {
    Pipe started;
    Child writer([&] {
      started.Send(1);
      for (DWORD round = last + 1;; ++round) {
        if (WriteRound(key, round) != ERROR_SUCCESS) return 1;
      }
    });
    ASSERT_EQ(1, started.Receive());
    SleepMicros(std::uniform_int_distribution<long>(0, 3000)(random));
    std::vector<DWORD> during = ReadRounds(key);  // while it writes
    writer.Kill();
    std::vector<DWORD> after = ReadRounds(key);
    ASSERT_EQ(std::vector<DWORD>(kValues, during[0]), during) << "kill " << kill;
    ASSERT_EQ(std::vector<DWORD>(kValues, after[0]), after) << "kill " << kill;
    ASSERT_EQ("ok", folder_.IntegrityCheck(HKEY_CURRENT_USER)) << "kill " << kill;
    ASSERT_LE(last, during[0]);
    ASSERT_LE(during[0], after[0]);
    last = after[0];
  }
  EXPECT_GT(last, 200u);  // the writers did commit, most of them many rounds
  folder_.Reopen();       // as a new process finds it
  key = CreateKey(HKEY_CURRENT_USER, "Batch");
  EXPECT_EQ(std::vector<DWORD>(kValues, last), ReadRounds(key));
}

// Read, add one, write back: two processes doing it in transactions at once lose no
// increment, so neither ever saw the other half-way.
TEST_F(StoreTransactionTest, ProcessesRunningTransactionsAtOnceLoseNothing) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Counter");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 0));
  constexpr int kIncrements = 300;
  auto increment = [key] {
    for (int i = 0; i < kIncrements; ++i) {
      BeginTransaction();
      SetDword(key, "n", QueryDword(key, "n") + 1);
      if (EndTransaction(true) != ERROR_SUCCESS) return 1;
    }
    return 0;
  };
  Child first(increment), second(increment);
  EXPECT_EQ(0, first.Wait());
  EXPECT_EQ(0, second.Wait());
  EXPECT_EQ(2u * kIncrements, QueryDword(key, "n"));
}

// Inside, calls see the transaction's own writes, lists included; after a rollback no
// cache serves them, neither this process's nor that of a process which cached the old
// state and whose next reads would trust it unless the counter had moved.
TEST_F(StoreTransactionTest, ARollbackLeavesNoTraceInAnyCache) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Kept");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 1));
  Pipe go, seen;
  Child reader([&] {
    HKEY own = CreateKey(HKEY_CURRENT_USER, "Kept");
    seen.Send(static_cast<int>(QueryDword(own, "n")));  // cached
    go.Receive();
    seen.Send(static_cast<int>(QueryDword(own, "n") + 10 * SubkeyNames(own).size()));
    return 0;
  });
  ASSERT_EQ(1, seen.Receive());

  BeginTransaction();
  BeginTransaction();  // nested: only counts
  EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "n", 2));
  HKEY added = CreateKey(key, "Added");
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));
  EXPECT_EQ(2u, QueryDword(key, "n"));
  EXPECT_EQ(std::vector<std::string>{"Added"}, SubkeyNames(key));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(false));

  EXPECT_EQ(1u, QueryDword(key, "n"));
  EXPECT_TRUE(SubkeyNames(key).empty());
  EXPECT_EQ(ERROR_KEY_DELETED, SetDword(added, "x", 0));
  go.Send(1);
  EXPECT_EQ(1, seen.Receive());
  EXPECT_EQ(0, reader.Wait());

  // A committed deletion moves the parent's last-write time, which a transaction writes
  // only once per key, at the end.
  RegCloseKey(CreateKey(key, "Doomed"));
  const int64_t before = LastWrite(key);
  SleepMicros(1000);
  BeginTransaction();
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Doomed"));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));
  EXPECT_GT(LastWrite(key), before);

  // So does writing a value the data it holds already, in a transaction or not, though
  // nothing else changes.
  const BYTE same[4] = {1, 2, 3, 4};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Same", 0, REG_BINARY, same, 4));
  for (bool inside : {false, true}) {
    const int64_t earlier = LastWrite(key);
    SleepMicros(1000);
    if (inside) BeginTransaction();
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Same", 0, REG_BINARY, same, 4));
    if (inside) {
      EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));
    }
    EXPECT_GT(LastWrite(key), earlier) << inside;
  }
  // Keys created in turn are written together, but never one the transaction left alone.
  HKEY turn[3];
  for (HKEY& k : turn) {
    k = CreateKey(key, ("Turn" + std::to_string(&k - turn)).c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(k, "Same", 0, REG_BINARY, same, 4));
  }
  const int64_t untouched = LastWrite(turn[1]);
  SleepMicros(1000);
  BeginTransaction();
  for (HKEY k : {turn[0], turn[2]}) RegSetValueExA(k, "Same", 0, REG_BINARY, same, 4);
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));
  EXPECT_GT(LastWrite(turn[0]), untouched);
  EXPECT_EQ(untouched, LastWrite(turn[1]));
  EXPECT_GT(LastWrite(turn[2]), untouched);
  for (HKEY k : turn) RegCloseKey(k);
  // And a value set and deleted again in one transaction, whose row cannot hold the time.
  const int64_t earlier = LastWrite(key);
  SleepMicros(1000);
  BeginTransaction();
  EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "Brief", 1));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "Brief"));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));
  EXPECT_GT(LastWrite(key), earlier);
}

// A transaction that touches many keys created in turn stores their time once for all of
// them. Later such transactions over parts of the same keys, and single keys written
// between, each leave the latest time on every key they touched and no other, as both
// ways of reading times see it, and as a restored backup keeps it.
TEST_F(StoreTransactionTest, KeysWrittenTogetherEachKeepTheirLatestTime) {
  constexpr int kKeys = 70;
  const BYTE same[1] = {7};
  HKEY parent = CreateKey(HKEY_CURRENT_USER, "Many");
  std::vector<HKEY> keys;
  for (int i = 0; i < kKeys; ++i) {
    keys.push_back(CreateKey(parent, ("K" + std::to_string(100 + i)).c_str()));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(keys.back(), "Same", 0, REG_BINARY, same, 1));
  }
  std::vector<int64_t> expected;
  for (HKEY key : keys) expected.push_back(LastWrite(key));
  // Rewrites the data the keys from `first` to `last` hold, in one transaction or not.
  auto touch = [&](int first, int last, bool together) {
    SleepMicros(1000);
    if (together) BeginTransaction();
    for (int i = first; i <= last; ++i) {
      ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(keys[i], "Same", 0, REG_BINARY, same, 1));
    }
    if (together) {
      ASSERT_EQ(ERROR_SUCCESS, EndTransaction(true));
    }
    const int64_t time = LastWrite(keys[first]);
    ASSERT_GT(time, expected[first]);
    for (int i = first; i <= last; ++i) expected[i] = time;
  };
  touch(0, 49, true);
  touch(10, 39, true);  // inside the first: its two ends keep their time
  touch(5, 5, false);
  touch(45, 64, true);  // from inside the first's end on, past it; the last keys untouched
  touch(20, 25, true);
  touch(30, 30, true);
  touch(45, 60, true);  // the start of the last run again
  touch(35, 54, true);  // up to inside it
  for (int i = 0; i < kKeys; ++i) EXPECT_EQ(expected[i], LastWrite(keys[i])) << i;
  EXPECT_EQ(expected, ListedTimes(parent));

  const std::string copy = folder_.path() + "/copy.db";
  close(open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
  std::string problem;
  ASSERT_EQ(ERROR_SUCCESS, ruzide::registry::BackupStore(HKEY_CURRENT_USER, copy, &problem));
  ASSERT_EQ(ERROR_SUCCESS, ruzide::registry::RestoreStore(HKEY_LOCAL_MACHINE, copy, &problem));
  HKEY restored = CreateKey(HKEY_LOCAL_MACHINE, "Many");
  EXPECT_EQ(expected, ListedTimes(restored));
  RegCloseKey(restored);
  for (HKEY key : keys) RegCloseKey(key);
  RegCloseKey(parent);
}

// Inside a transaction, a value this process never read is compared with what the store
// holds before it is written: the same type and bytes move only the key's last-write
// time, and a value that differs in either, or is new, is written as outside one.
TEST_F(StoreTransactionTest, ValuesWrittenUnreadChangeWhereTheyDiffer) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Unread");
  HKEY same_key = CreateKey(HKEY_CURRENT_USER, "Unread\\Same");
  HKEY other_key = CreateKey(HKEY_CURRENT_USER, "Other");
  const BYTE two[2] = {1, 2}, other[2] = {1, 3};
  const DWORD seven = 7;
  const BYTE* seven_bytes = reinterpret_cast<const BYTE*>(&seven);
  // Another process writes them, so that this one's cache knows none.
  Child writer([&] {
    return SetDword(key, "bytes", 0) | RegSetValueExA(key, "bytes", 0, REG_BINARY, two, 2) |
           SetDword(key, "type", seven) | SetDword(same_key, "same", 5);
  });
  ASSERT_EQ(0, writer.Wait());
  SleepMicros(1000);
  BeginTransaction();
  ASSERT_EQ(ERROR_SUCCESS, SetDword(same_key, "same", 5));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "bytes", 0, REG_BINARY, other, 2));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "type", 0, REG_BINARY, seven_bytes, 4));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "new", 1));
  ASSERT_EQ(ERROR_SUCCESS, EndTransaction(true));
  // Another process's write makes this one read what the store holds, not its cache.
  Child nudge([&] { return SetDword(other_key, "n", 1); });
  ASSERT_EQ(0, nudge.Wait());

  DWORD type = 0;
  EXPECT_EQ(std::string("\x01\x03"), QueryBytes(key, "bytes"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(seven_bytes), 4),
            QueryBytes(key, "type", nullptr, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  EXPECT_EQ((std::vector<std::string>{"bytes", "type", "new"}), ValueNames(key));
  // Every write of a transaction records its time.
  EXPECT_EQ(LastWrite(key), LastWrite(same_key));
  RegCloseKey(other_key);
  RegCloseKey(same_key);
  RegCloseKey(key);
}

// Values deleted inside a transaction may keep their rows until their key goes, the
// values are read from the database, or the commit; each call answers, and the commit or
// rollback leaves, what deleting each at once would have.
TEST_F(StoreTransactionTest, ValuesDeletedInsideATransactionGoAtItsEndOrNotAtAll) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Values");
  HKEY doomed = CreateKey(key, "Doomed");
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, name, 1));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(doomed, name, 1));
  }
  folder_.Reopen();  // nothing cached: the first deletion looks in the database
  key = CreateKey(HKEY_CURRENT_USER, "Values");
  doomed = CreateKey(key, "Doomed");
  BeginTransaction();
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "a"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "a"));
  EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "a", 2));  // after the deletion, not before
  EXPECT_EQ((std::vector<std::string>{"b", "c", "a"}), ValueNames(key));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "b"));  // left for the commit
  for (const char* name : {"a", "b", "c"}) EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(doomed, name));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Doomed"));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));

  BeginTransaction();
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "c"));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(false));
  BeginTransaction();  // must not carry out the deletion rolled back
  // Each new value goes after the last, whatever its name.
  for (const char* name : {"d", "1", "0"}) {
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, name, 1));
  }
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));

  folder_.Reopen();
  key = CreateKey(HKEY_CURRENT_USER, "Values");
  EXPECT_EQ((std::vector<std::string>{"c", "a", "d", "1", "0"}), ValueNames(key));
  EXPECT_EQ(2u, QueryDword(key, "a"));
  EXPECT_TRUE(SubkeyNames(key).empty());
  EXPECT_EQ("ok", folder_.IntegrityCheck(HKEY_CURRENT_USER));
}

// Keys deleted inside a transaction may keep their rows until something lists or inserts
// keys, or the commit, and then go in runs of consecutive ids; each call answers, and the
// commit or rollback leaves, what deleting each at once would have. A key known to have no
// subkeys has some once one is created.
TEST_F(StoreTransactionTest, KeysDeletedInsideATransactionGoAtItsEndOrNotAtAll) {
  HKEY tree = CreateKey(HKEY_CURRENT_USER, "Tree");
  for (const char* name : {"K0", "K1", "K2", "K3", "K4"}) {
    HKEY key = CreateKey(tree, name);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 1));
    RegCloseKey(CreateKey(key, "Sub"));
    RegCloseKey(key);
  }
  folder_.Reopen();  // nothing cached: lookups go to the database
  tree = CreateKey(HKEY_CURRENT_USER, "Tree");
  HKEY k1 = CreateKey(tree, "K1");
  BeginTransaction();
  // Keys without subkeys wait: apart, around keys that stay.
  for (const char* path : {"K1\\Sub", "K2\\Sub", "K3\\Sub", "K0\\Sub"}) {
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(tree, path)) << path;
  }
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(tree, "K4"));  // its subkey stays
  HKEY sub = CreateKey(tree, "K4\\Sub");
  EXPECT_TRUE(SubkeyNames(sub).empty());
  RegCloseKey(CreateKey(sub, "Deep"));
  EXPECT_EQ(std::vector<std::string>{"Deep"}, SubkeyNames(sub));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(tree, "K4\\Sub"));  // no longer a leaf
  RegCloseKey(sub);
  HKEY gone = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKey(tree, "K0\\Sub", KEY_READ, &gone));
  RegCloseKey(CreateKey(tree, "K1\\Sub"));  // the name of a key waiting
  // A key whose subkeys wait.
  for (const char* path : {"K1\\Sub", "K1", "K3"}) {
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(tree, path)) << path;
  }
  EXPECT_EQ(ERROR_KEY_DELETED, SetDword(k1, "n", 2));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"));
  EXPECT_EQ((std::vector<std::string>{"K0", "K2", "K4"}), SubkeyNames(tree));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));

  BeginTransaction();
  for (const char* path : {"K4\\Sub\\Deep", "K4\\Sub", "K4"}) {
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(tree, path)) << path;
  }
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(false));
  BeginTransaction();  // must not carry out the deletions rolled back
  EXPECT_EQ(ERROR_SUCCESS, SetDword(tree, "n", 1));
  EXPECT_EQ(ERROR_SUCCESS, EndTransaction(true));

  folder_.Reopen();
  tree = CreateKey(HKEY_CURRENT_USER, "Tree");
  EXPECT_EQ(
      "[Tree]\nn 4 01000000\n[Tree\\K0]\nn 4 01000000\n[Tree\\K2]\nn 4 01000000\n"
      "[Tree\\K4]\nn 4 01000000\n[Tree\\K4\\Sub]\n[Tree\\K4\\Sub\\Deep]\n",
      Dump(HKEY_CURRENT_USER, "Tree"));
  EXPECT_EQ("ok", folder_.IntegrityCheck(HKEY_CURRENT_USER));
}

}  // namespace
