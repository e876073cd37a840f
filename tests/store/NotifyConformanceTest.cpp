// How RegNotifyChangeKeyValue and the event functions behave. Written against the
// registry and event functions alone, so that it runs unchanged against the real
// registry; the store's tests add the cases across processes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/WinEvent.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

// Long enough for any delivery, and only waited out when a test is failing.
constexpr DWORD kSoon = 10000;

class NotifyConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(nullptr, base());
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event_);
  }
  void TearDown() override { CloseHandle(event_); }
  HKEY base() const { return scratch_.get(); }
  bool Signalled(DWORD wait = 0) { return WaitForSingleObject(event_, wait) == WAIT_OBJECT_0; }

  ScratchKey scratch_;
  HANDLE event_ = nullptr;
};

TEST_F(NotifyConformanceTest, EventsResetByHandOrByTheWaitAndTimeOut) {
  HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(automatic, 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(automatic, 20));
  EXPECT_TRUE(SetEvent(event_));
  EXPECT_TRUE(Signalled());
  EXPECT_TRUE(Signalled());
  EXPECT_TRUE(ResetEvent(event_));
  EXPECT_FALSE(Signalled());
  std::thread setter([&] { SetEvent(automatic); });
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(automatic, INFINITE));
  setter.join();
  EXPECT_TRUE(CloseHandle(automatic));
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(automatic, 0));
  EXPECT_FALSE(SetEvent(automatic));
}

// Each change against each kind of watch: the key's own changes reach a watch of it, and
// those below it only a watch of the subtree; each filter sees its own kind of change. A
// second watch of everything on another handle tells when the change has been delivered.
TEST_F(NotifyConformanceTest, FiltersAndSubtreeSelectTheChangesThatSignal) {
  struct Case {
    const char* what;
    DWORD filter;
    BOOL subtree;
    std::function<void(HKEY)> change;
    bool signals;
  };
  auto set_value = [](HKEY key) { SetDword(key, "v", 2); };
  auto delete_value = [](HKEY key) { RegDeleteValueA(key, "old"); };
  auto create_subkey = [](HKEY key) { RegCloseKey(CreateKey(key, "new")); };
  auto delete_inner = [](HKEY key) { RegDeleteKeyA(key, "sub\\inner"); };
  auto set_inner = [](HKEY key) {
    HKEY inner = CreateKey(key, "sub\\inner");
    SetDword(inner, "v", 3);
    RegCloseKey(inner);
  };
  const DWORD kName = REG_NOTIFY_CHANGE_NAME, kLastSet = REG_NOTIFY_CHANGE_LAST_SET;
  const Case cases[] = {
      {"value set, last-set", kLastSet, FALSE, set_value, true},
      {"value set, name", kName, FALSE, set_value, false},
      {"value deleted, last-set", kLastSet, FALSE, delete_value, true},
      {"subkey created, name", kName, FALSE, create_subkey, true},
      {"subkey created, last-set", kLastSet, FALSE, create_subkey, false},
      {"key below deleted, name", kName, FALSE, delete_inner, false},
      {"key below deleted, name, subtree", kName, TRUE, delete_inner, true},
      {"value below set, last-set", kLastSet, FALSE, set_inner, false},
      {"value below set, last-set, subtree", kLastSet, TRUE, set_inner, true},
      {"value below set, name, subtree", kName, TRUE, set_inner, false},
  };
  HANDLE delivered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (const Case& c : cases) {
    HKEY key = CreateKey(base(), c.what);
    HKEY probe = CreateKey(base(), c.what);
    RegCloseKey(CreateKey(key, "sub\\inner"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "old", 1));
    ResetEvent(event_);
    ResetEvent(delivered);
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(key, c.subtree, c.filter, event_, TRUE));
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(probe, TRUE, kName | kLastSet, delivered, TRUE));
    EXPECT_FALSE(Signalled()) << c.what;
    c.change(key);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(delivered, kSoon)) << c.what;
    EXPECT_EQ(c.signals, Signalled()) << c.what;
    RegCloseKey(probe);
    RegCloseKey(key);
  }
  CloseHandle(delivered);
}

TEST_F(NotifyConformanceTest, AWatchSignalsOnceAndAgainOnlyWhenRenewed) {
  HKEY key = CreateKey(base(), "once");
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event_, TRUE));
  SetDword(key, "a", 1);
  ASSERT_TRUE(Signalled(kSoon));
  ResetEvent(event_);
  SetDword(key, "a", 2);
  // The renewed watch sees the next change, not the one before it.
  HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, probe, TRUE));
  EXPECT_FALSE(Signalled());
  SetDword(key, "a", 3);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(probe, kSoon));
  EXPECT_FALSE(Signalled());
  CloseHandle(probe);
  RegCloseKey(key);
}

TEST_F(NotifyConformanceTest, SynchronousCallReturnsOnAnotherThreadsChange) {
  HKEY key = CreateKey(base(), "sync");
  HKEY writer = CreateKey(base(), "sync");
  std::atomic<bool> returned{false};
  // Writes until the call has returned, so that one write surely comes after it began.
  std::thread change([&] {
    for (DWORD n = 1; !returned; ++n) {
      SetDword(writer, "v", n);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  EXPECT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE));
  returned = true;
  change.join();
  RegCloseKey(writer);
  RegCloseKey(key);
}

TEST_F(NotifyConformanceTest, ClosingTheWatchedHandleSignals) {
  HKEY key = CreateKey(base(), "closed");
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME, event_, TRUE));
  EXPECT_FALSE(Signalled());
  RegCloseKey(key);
  EXPECT_TRUE(Signalled(kSoon));
}

TEST_F(NotifyConformanceTest, BadHandlesAndDeletedKeysAreRefused) {
  HKEY key = CreateKey(base(), "bad");
  HKEY reader = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), "bad", KEY_QUERY_VALUE, &reader));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegNotifyChangeKeyValue(reader, FALSE, REG_NOTIFY_CHANGE_NAME, event_, TRUE));
  RegCloseKey(reader);
  // A key handle is not an event.
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME,
                                                          reinterpret_cast<HANDLE>(key), TRUE));
  HKEY doomed = CreateKey(base(), "doomed");
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base(), "doomed"));
  EXPECT_EQ(ERROR_KEY_DELETED,
            RegNotifyChangeKeyValue(doomed, FALSE, REG_NOTIFY_CHANGE_NAME, event_, TRUE));
  RegCloseKey(doomed);
  RegCloseKey(key);
  EXPECT_EQ(ERROR_INVALID_HANDLE,
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME, event_, TRUE));
  EXPECT_FALSE(Signalled());
}

// A change deep in a volatile subtree reaches a watch of its top.
TEST_F(NotifyConformanceTest, AVolatileSubtreeIsWatchedAsAnyOther) {
  HKEY deep = nullptr, top = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(base(), "v\\w\\x", 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &deep, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), "v", KEY_NOTIFY, &top));
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(top, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event_, TRUE));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(deep, "n", 1));
  EXPECT_TRUE(Signalled(kSoon));
  RegCloseKey(top);
  RegCloseKey(deep);
}

}  // namespace
