// SQLite failures, injected beneath the store (FaultVfs.h) at every file operation of a
// call in turn: an I/O error once or for good, a full disk, a busy lock. For each the call
// must return success or the code docs/store.md gives, both this process and another see
// the same registry, the old one or the new one whole, and once the fault clears the
// next call succeeds.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/registry/StoreTransaction.h"
#include "tests/library/ChildProcess.h"
#include "tests/store/FaultVfs.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

const char kKey[] = "Faulty";

// Everything below HKEY_CURRENT_USER\\Faulty, or the error that stopped it.
std::string Contents() { return Dump(HKEY_CURRENT_USER, kKey); }

// A second process with a store connection of its own: asked 1 it dumps the registry;
// asked 2 it writes elsewhere in it, so that this process's cache and SQLite's go stale.
std::string Serve(int request) {
  if (request == 1) return Contents();
  HKEY other = CreateKey(HKEY_CURRENT_USER, "Other");
  SetDword(other, "n", QueryDword(other, "n") + 1);
  RegCloseKey(other);
  return "";
}

struct Call {
  const char* name;
  LONG (*run)();
  bool reads;  // changes nothing
};

// `op` on the key Faulty, opened to set values.
LONG OnKey(LONG (*op)(HKEY)) {
  HKEY key = nullptr;
  LONG status = OpenKey(HKEY_CURRENT_USER, kKey, KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) status = op(key);
  RegCloseKey(key);
  return status;
}

LONG SetNew() {
  return OnKey([](HKEY key) { return SetString(key, "v", "new"); });
}

LONG CreateNew() {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Faulty\\New\\Deeper", 0, nullptr, 0, KEY_READ,
                                nullptr, &key, nullptr);
  RegCloseKey(key);
  return status;
}

LONG DeleteOldValue() {
  return OnKey([](HKEY key) { return RegDeleteValueA(key, "v"); });
}

// Over a thousand pages: the commit checkpoints, syncing and writing the database file.
LONG SetBig() {
  return OnKey([](HKEY key) {
    const std::string big(2100000, 'b');
    return RegSetValueExA(key, "big", 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                          static_cast<DWORD>(big.size()));
  });
}

LONG DeleteOldKey() { return RegDeleteKeyA(HKEY_CURRENT_USER, "Faulty\\Old"); }

// A subtree deleted in a transaction: the keys' rows, and their values', wait for the
// commit, which may be the first to read them.
LONG DeleteTree() {
  ruzide::registry::BeginTransaction();
  LONG status = ERROR_SUCCESS;
  for (const char* path : {"Faulty\\Tree\\Leaf", "Faulty\\Tree"}) {
    if (status == ERROR_SUCCESS) status = RegDeleteKeyA(HKEY_CURRENT_USER, path);
  }
  const LONG end = ruzide::registry::EndTransaction(status == ERROR_SUCCESS);
  return status != ERROR_SUCCESS ? status : end;
}

// Every read the registry offers, failing with the first error.
LONG ReadAll() {
  const std::string dump = Contents();
  size_t error = dump.find("error ");
  return error == std::string::npos ? ERROR_SUCCESS : std::stol(dump.substr(error + 6));
}

const Call kCalls[] = {
    {"RegSetValueExA", SetNew, false},
    {"RegCreateKeyExA", CreateNew, false},
    {"RegDeleteValueA", DeleteOldValue, false},
    {"RegDeleteKeyA", DeleteOldKey, false},
    {"a transaction deleting a subtree", DeleteTree, false},
    {"reads", ReadAll, true},
    {"a commit that checkpoints", SetBig, false},
};

// Puts the registry back as each call expects to find it.
void Reset() {
  RegDeleteKeyA(HKEY_CURRENT_USER, "Faulty\\New\\Deeper");
  RegDeleteKeyA(HKEY_CURRENT_USER, "Faulty\\New");
  HKEY key = CreateKey(HKEY_CURRENT_USER, kKey);
  SetString(key, "v", "old");
  RegDeleteValueA(key, "big");
  RegCloseKey(key);
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, "Faulty\\Old"));
  key = CreateKey(HKEY_CURRENT_USER, "Faulty\\Tree\\Leaf");
  SetString(key, "v", "old");
  RegCloseKey(key);
}

struct Fault {
  const char* name;
  fault::Kind kind;
  bool lasting;
  LONG error;  // what a call that fails must return
};

// The operations at which to fail a call, from a run that recorded them: every one when
// they are few; otherwise the first and last few, each that is neither a read nor a
// write, and a sample of the rest.
std::vector<int> FaultPoints(const std::vector<fault::Op>& trace) {
  std::vector<int> points;
  const int count = static_cast<int>(trace.size());
  for (int i = 0; i < count; ++i) {
    if (count <= 64 || i < 4 || i >= count - 4 ||
        (trace[i] != fault::kRead && trace[i] != fault::kWrite) || i % (count / 4) == 0) {
      points.push_back(i + 1);
    }
  }
  points.push_back(count + 1);  // past the last: no fault
  return points;
}

// Runs `call` with the Nth operation that `fault` concerns failing, for each N of
// FaultPoints. `first_call` makes it the first call of the process, which opens the store.
void InjectEverywhere(const Fault& fault, const Call& call, bool first_call) {
  SCOPED_TRACE(std::string(call.name) + " under " + fault.name +
               (first_call ? ", opening the store" : ""));
  TempStoreFolder folder;
  Peer peer(Serve);
  Reset();
  const std::string before = Contents();
  peer.Ask(2);  // so that the call cannot be answered from caches alone
  if (first_call) TempStoreFolder::Reopen();
  std::vector<fault::Op> trace;
  fault::Record(fault.kind, &trace);
  ASSERT_EQ(ERROR_SUCCESS, call.run());
  fault::Disarm();
  const std::string after = Contents();
  ASSERT_EQ(call.reads, before == after) << after;
  for (int n : FaultPoints(trace)) {
    SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(trace.size()));
    Reset();
    if (n % 2 == 1) peer.Ask(2);  // else this process's caches are warm
    if (first_call) TempStoreFolder::Reopen();
    fault::Arm(fault.kind, n, fault.lasting);
    const LONG status = call.run();
    const bool injected = fault::Disarm() > 0;
    if (!injected) {
      EXPECT_EQ(ERROR_SUCCESS, status);
      EXPECT_EQ(after, Contents());
      continue;
    }
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(fault.error, status);
    }
    const std::string seen = Contents();
    EXPECT_EQ(seen, peer.Ask(1));
    if (status == ERROR_SUCCESS || call.reads) {
      EXPECT_EQ(after, seen);
    } else if (seen == before) {
      EXPECT_EQ(ERROR_SUCCESS, call.run()) << "the next call";
      EXPECT_EQ(after, Contents());
    } else {
      EXPECT_EQ(after, seen);  // the change went through, though the call failed
    }
    if (::testing::Test::HasFailure()) break;
  }
}

const Fault kFaults[] = {
    {"an I/O error", fault::Kind::kIoError, false, ERROR_REGISTRY_IO_FAILED},
    {"a lasting I/O error", fault::Kind::kIoError, true, ERROR_REGISTRY_IO_FAILED},
    {"a full disk", fault::Kind::kDiskFull, true, ERROR_REGISTRY_IO_FAILED},
    {"a busy lock", fault::Kind::kBusy, false, ERROR_LOCK_VIOLATION},
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class StoreFaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(StoreFaultTest, EveryCallFailsCleanlyAtEveryOperation) {
  for (const Call& call : kCalls) {
    // The checkpoint's file operations are those of a passing fault; one run is enough.
    if (call.run == SetBig && GetParam().lasting && GetParam().kind == fault::Kind::kIoError)
      continue;
    InjectEverywhere(GetParam(), call, false);
  }
}

TEST_P(StoreFaultTest, TheFirstCallFailsCleanlyWhileOpeningTheStore) {
  InjectEverywhere(GetParam(), kCalls[0], true);
  InjectEverywhere(GetParam(), kCalls[4], true);
}

INSTANTIATE_TEST_SUITE_P(, StoreFaultTest, ::testing::ValuesIn(kFaults), [](const auto& info) {
  std::string name;
  for (const char* c = info.param.name; *c; ++c) {
    if (isalpha(static_cast<unsigned char>(*c))) name += *c;
  }
  return name;
});

// A real full disk: a store on a 1 MB file system of its own, filled up. The first call,
// which makes the store, fails; later the write that finds no room fails, everything
// written before stays, for this process and another, and once there is room again the
// same write succeeds. Needs root, to mount the file system.
TEST(StoreFullDiskTest, ACallWithoutRoomFailsAndLosesNothing) {
  TempStoreFolder folder;
  if (geteuid() != 0 || mount("ruzide-test", folder.path().c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "needs root to mount a tmpfs";
  }
  struct Unmount {
    std::string path;
    ~Unmount() {
      TempStoreFolder::Reopen();
      umount2(path.c_str(), MNT_DETACH);
    }
  } unmount{folder.path()};
  const std::string chunk(16000, 'x');
  // Full before the store exists. The .gen file is mapped: touching pages that were never
  // allocated would kill the process with SIGBUS, where the first call must fail.
  const std::string filler = folder.path() + "/filler";
  for (std::ofstream fill(filler); fill.write(chunk.data(), chunk.size()) && fill.flush();) {
  }
  Child first(
      [] { return SetDword(HKEY_CURRENT_USER, "v", 1) == ERROR_REGISTRY_IO_FAILED ? 0 : 1; });
  EXPECT_EQ(0, first.Wait());
  ASSERT_EQ(0, truncate(filler.c_str(), 200000));
  HKEY key = CreateKey(HKEY_CURRENT_USER, kKey);
  ASSERT_NE(nullptr, key);
  std::unique_ptr<Peer> peer(new Peer(Serve));
  EXPECT_EQ(Contents(), peer->Ask(1));
  auto put = [&](int i) {
    return RegSetValueExA(key, ("fill" + std::to_string(i)).c_str(), 0, REG_BINARY,
                          reinterpret_cast<const BYTE*>(chunk.data()), 16000);
  };
  int i = 0;
  LONG status;
  while ((status = put(i)) == ERROR_SUCCESS && i < 200) ++i;
  EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, status);
  const std::string kept = Contents();
  EXPECT_EQ(kept, peer->Ask(1));
  EXPECT_NE(std::string::npos, kept.find("\nfill" + std::to_string(i - 1) + " "));
  EXPECT_EQ(std::string::npos, kept.find("\nfill" + std::to_string(i) + " "));
  unlink(filler.c_str());
  EXPECT_EQ(ERROR_SUCCESS, put(i));
  EXPECT_NE(std::string::npos, peer->Ask(1).find("\nfill" + std::to_string(i) + " "));
  RegCloseKey(key);
  peer.reset();
}

}  // namespace

int main(int argc, char** argv) {
  fault::Install();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
