// Processes sharing one store: each sees the others' changes at once, even through its
// cache. Concurrent writers losing nothing is the notify test's many writers' part.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

// A peer that runs the next of `actions` each time it is asked: "1" if it succeeded. It
// is forked before the test fills this process's cache, so the cache must notice the
// peer's changes by itself.
class ActionPeer : public Peer {
 public:
  explicit ActionPeer(std::vector<std::function<bool()>> actions)
      : Peer([actions](int step) { return actions[step - 1]() ? "1" : "0"; }) {}
  bool Run() { return Ask(++step_) == "1"; }

 private:
  int step_ = 0;
};

class StoreProcessTest : public ::testing::Test {
 protected:
  TempStoreFolder folder_;
};

TEST_F(StoreProcessTest, CachedReadsSeeAnotherProcessAtOnce) {
  ActionPeer peer({
      [] { return SetDword(CreateKey(HKEY_CURRENT_USER, "Shared"), "n", 2) == ERROR_SUCCESS; },
      [] { return CreateKey(HKEY_CURRENT_USER, "Shared\\Added") != nullptr; },
      [] { return RegDeleteKeyA(HKEY_CURRENT_USER, "Shared\\Doomed") == ERROR_SUCCESS; },
  });
  HKEY shared = CreateKey(HKEY_CURRENT_USER, "Shared");
  HKEY doomed = CreateKey(shared, "Doomed");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(shared, "n", 1));
  for (int i = 0; i < 2; ++i) EXPECT_EQ(1u, QueryDword(shared, "n"));
  EXPECT_EQ(std::vector<std::string>{"Doomed"}, SubkeyNames(shared));
  ASSERT_TRUE(peer.Run());
  EXPECT_EQ(2u, QueryDword(shared, "n"));
  ASSERT_TRUE(peer.Run());
  EXPECT_EQ((std::vector<std::string>{"Added", "Doomed"}), SubkeyNames(shared));
  ASSERT_TRUE(peer.Run());
  EXPECT_EQ(std::vector<std::string>{"Added"}, SubkeyNames(shared));
  EXPECT_EQ(ERROR_KEY_DELETED, SetDword(doomed, "n", 1));
  RegCloseKey(doomed);
  RegCloseKey(shared);
}

// A writer that died between its COMMIT and the end of its write leaves the generation
// counter odd. Simulated here by setting it odd, and by a peer's writes after which the
// counter is put back to that odd value, so that they do not show in it: reads must
// bypass the cache, and the next write must make the counter even.
TEST_F(StoreProcessTest, AnOddGenerationBypassesTheCacheUntilTheNextWrite) {
  auto peer_sets = [](DWORD number) {
    return [number] { return SetDword(CreateKey(HKEY_CURRENT_USER, "k"), "n", number) == 0; };
  };
  ActionPeer peer({peer_sets(2), peer_sets(5)});
  HKEY key = CreateKey(HKEY_CURRENT_USER, "k");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 1));
  EXPECT_EQ(1u, QueryDword(key, "n"));
  int fd = open(folder_.GenFile(HKEY_CURRENT_USER).c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  uint64_t counter = 0;
  ASSERT_EQ(8, pread(fd, &counter, 8, 0));
  uint64_t odd = counter + 1;
  ASSERT_EQ(8, pwrite(fd, &odd, 8, 0));
  EXPECT_EQ(1u, QueryDword(key, "n"));
  ASSERT_TRUE(peer.Run());
  ASSERT_EQ(8, pwrite(fd, &odd, 8, 0));
  EXPECT_EQ(2u, QueryDword(key, "n"));
  // Nothing read while the counter is odd may be trusted later either.
  ASSERT_TRUE(peer.Run());
  ASSERT_EQ(8, pwrite(fd, &odd, 8, 0));
  EXPECT_EQ(5u, QueryDword(key, "n"));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "n", 3));
  ASSERT_EQ(8, pread(fd, &counter, 8, 0));
  EXPECT_EQ(0u, counter % 2);
  EXPECT_GT(counter, odd);
  EXPECT_EQ(3u, QueryDword(key, "n"));
  close(fd);
  RegCloseKey(key);
}

// A volatile key that one process creates, in a store the other has already opened, is
// the other's too; its name reaches neither the database file nor its WAL; and a restart
// of the machine, which empties the run-time folder, ends it and nothing else.
TEST_F(StoreProcessTest, VolatileKeysAreSharedNeverStoredAndGoneAfterARestart) {
  ActionPeer peer({[] {
    HKEY key = nullptr;
    return RegCreateKeyExA(HKEY_CURRENT_USER, "Kept\\Fleeting", 0, nullptr, REG_OPTION_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS &&
           SetString(key, "FleetingValue", "FleetingData") == ERROR_SUCCESS;
  }});
  HKEY kept = CreateKey(HKEY_CURRENT_USER, "Kept");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(kept, "n", 1));
  EXPECT_TRUE(SubkeyNames(kept).empty());
  ASSERT_TRUE(peer.Run());
  EXPECT_EQ(std::vector<std::string>{"Fleeting"}, SubkeyNames(kept));
  HKEY fleeting = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(kept, "Fleeting", KEY_READ, &fleeting));
  EXPECT_STREQ("FleetingData", QueryBytes(fleeting, "FleetingValue").c_str());
  RegCloseKey(fleeting);
  const std::string file = folder_.DatabaseFile(HKEY_CURRENT_USER);
  const std::string run_time = folder_.RunTimeFolder(HKEY_CURRENT_USER);
  EXPECT_NE(std::string::npos, ReadFile(run_time + "/HKEY_CURRENT_USER.db-wal").find("Fleeting"));
  for (const std::string& path : {file, file + "-wal"}) {
    EXPECT_EQ(std::string::npos, ReadFile(path).find("Fleeting")) << path;
  }
  RegCloseKey(kept);
  EXPECT_EQ(0, peer.Finish());
  TempStoreFolder::Reopen();
  std::filesystem::remove_all(run_time);
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_CURRENT_USER, "Kept", KEY_READ, &kept));
  EXPECT_TRUE(SubkeyNames(kept).empty());
  EXPECT_EQ(1u, QueryDword(kept, "n"));
  RegCloseKey(kept);
  HKEY again = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, "Kept\\Again", 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &again, nullptr));
  RegCloseKey(again);
  EXPECT_EQ(std::vector<std::string>{"Again"}, SubkeyNames(CreateKey(HKEY_CURRENT_USER, "Kept")));
}

}  // namespace
