// Key watches across processes: a deletion in one process reaches a watch in another, many
// writers and watchers at once lose no final state, and a watcher killed while it waits
// holds up no one.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "platform/WinEvent.h"
#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

constexpr DWORD kSoon = 10000;
constexpr DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

class StoreNotifyTest : public ::testing::Test {
 protected:
  TempStoreFolder folder_;
};

// A filter bit the registry does not know is refused, as Windows does (Wine ignores it).
// Deleting a key in another process signals a watch of it whatever the filter, as Windows
// does (Wine does not); the next case has other processes' changes signal.
TEST_F(StoreNotifyTest, UnknownFiltersFailAndAnotherProcessesDeletionSignals) {
  HKEY doomed = CreateKey(HKEY_CURRENT_USER, "Watched\\Doomed");
  // Forked before the watch starts its threads, which a child must not inherit mid-work.
  Pipe go;
  Child peer([&go] {
    return go.Receive() == 1 ? RegDeleteKeyA(HKEY_CURRENT_USER, "Watched\\Doomed") : 2;
  });
  HANDLE deleted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegNotifyChangeKeyValue(doomed, FALSE, 0x40, deleted, TRUE));
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(doomed, FALSE, REG_NOTIFY_CHANGE_LAST_SET, deleted, TRUE));
  go.Send(1);
  EXPECT_EQ(ERROR_SUCCESS, peer.Wait());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(deleted, kSoon));
  CloseHandle(deleted);
  RegCloseKey(doomed);
}

// Eight writers make 1,000 changes each while four watchers follow the key, renewing
// their watch and reading the key again at each signal, and two more watchers are killed
// while they wait. Each watcher stops once it has read the writers' last value, which it
// can only miss by losing a signal; its view must then equal the store.
TEST_F(StoreNotifyTest, ManyWritersAndWatchersLoseNoFinalStateAndAKilledWatcherBlocksNoOne) {
  constexpr int kWriters = 8, kWatchers = 4, kEach = 1000;
  RegCloseKey(CreateKey(HKEY_CURRENT_USER, "Busy"));
  auto sum_of_values = [](HKEY key) {
    DWORD sum = 0;
    for (const std::string& name : ValueNames(key)) sum += QueryDword(key, name.c_str());
    return sum;
  };
  Pipe ready, views;
  std::vector<std::unique_ptr<Child>> watchers;
  for (int i = 0; i < kWatchers; ++i) {
    watchers.push_back(std::make_unique<Child>([&] {
      HKEY key = CreateKey(HKEY_CURRENT_USER, "Busy");
      HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      for (bool first = true;; first = false) {
        ResetEvent(event);
        if (RegNotifyChangeKeyValue(key, TRUE, kChanges, event, TRUE) != ERROR_SUCCESS) return 2;
        if (first) ready.Send(0);
        if (QueryDword(key, "done") == 1) break;
        if (WaitForSingleObject(event, kSoon) != WAIT_OBJECT_0) return 3;
      }
      views.Send(static_cast<int>(sum_of_values(key)));
      return 0;
    }));
  }
  std::vector<std::unique_ptr<Child>> killed;
  for (int i = 0; i < 2; ++i) {
    killed.push_back(std::make_unique<Child>([&] {
      HKEY key = CreateKey(HKEY_CURRENT_USER, "Busy");
      ready.Send(0);
      RegNotifyChangeKeyValue(key, TRUE, kChanges, nullptr, FALSE);
      return RegNotifyChangeKeyValue(key, TRUE, kChanges, nullptr, FALSE);
    }));
  }
  for (int i = 0; i < kWatchers + 2; ++i) ASSERT_EQ(0, ready.Receive());
  killed[0]->Kill();
  std::vector<std::unique_ptr<Child>> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back(std::make_unique<Child>([w] {
      HKEY key = CreateKey(HKEY_CURRENT_USER, "Busy");
      std::string name = "w" + std::to_string(w);
      for (DWORD i = 1; i <= kEach; ++i) {
        if (SetDword(key, name.c_str(), i) != ERROR_SUCCESS) return 1;
      }
      return 0;
    }));
  }
  killed[1]->Kill();
  for (auto& writer : writers) EXPECT_EQ(0, writer->Wait());
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Busy");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "done", 1));
  DWORD store = sum_of_values(key);
  EXPECT_EQ(static_cast<DWORD>(kWriters * kEach + 1), store);
  for (int i = 0; i < kWatchers; ++i) EXPECT_EQ(static_cast<int>(store), views.Receive());
  for (auto& watcher : watchers) EXPECT_EQ(0, watcher->Wait());
  RegCloseKey(key);
}

}  // namespace
