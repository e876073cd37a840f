// The merged view of a virtualized key, in a process that may not write the machine root
// (named in RUZIDE_REGISTRY_READONLY, so that no privileges are needed): enumeration
// order, deletions, and watches on both sides.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WinEvent.h"
#include "tests/library/ChildProcess.h"
#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

class StoreVirtualizationTest : public ::testing::Test {
 protected:
  TempStoreFolder folder_;
};

TEST_F(StoreVirtualizationTest, TheCopyOverlaysTheMachineKeyInRegistryOrder) {
  HKEY machine = CreateKey(HKEY_LOCAL_MACHINE, "Software\\App");
  ASSERT_EQ(ERROR_SUCCESS, SetDword(machine, "b", 1));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(machine, "a", 1));
  RegCloseKey(CreateKey(machine, "M"));
  RegCloseKey(machine);
  setenv("RUZIDE_REGISTRY_READONLY", "HKLM", 1);
  TempStoreFolder::Reopen();

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\app", KEY_ALL_ACCESS, &key));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "c", 2));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "A", 2));  // replaces the machine's in its place
  RegCloseKey(CreateKey(key, "N"));
  RegCloseKey(CreateKey(key, "L"));
  EXPECT_EQ((std::vector<std::string>{"b", "A", "c"}), ValueNames(key));
  EXPECT_EQ((std::vector<std::string>{"L", "M", "N"}), SubkeyNames(key));
  EXPECT_EQ(2u, QueryDword(key, "a"));
  DWORD values = 0, subkeys = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, &values, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(3u, values);
  EXPECT_EQ(3u, subkeys);

  // The copy is an ordinary key of the user root; the machine's key is untouched.
  HKEY copy = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            OpenKey(HKEY_CURRENT_USER, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\app",
                    KEY_READ, &copy));
  EXPECT_EQ((std::vector<std::string>{"c", "A"}), ValueNames(copy));
  RegCloseKey(copy);
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, "Software\\App", KEY_READ, &machine));
  EXPECT_EQ((std::vector<std::string>{"b", "a"}), ValueNames(machine));
  EXPECT_EQ(1u, QueryDword(machine, "a"));
  EXPECT_EQ((std::vector<std::string>{"M"}), SubkeyNames(machine));

  // Deleting affects the copy only: the machine's value shows again, and what only the
  // machine holds cannot be deleted.
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "a"));
  EXPECT_EQ(1u, QueryDword(key, "a"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(key, "a"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "z"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "N"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key, "M"));
  EXPECT_EQ((std::vector<std::string>{"L", "M"}), SubkeyNames(key));

  // A change on either side signals a watch of the virtualized key. The writer is forked
  // before the watch starts its threads: forked while one of them held the allocator's
  // lock, as happened under the sanitizers, the child waited on it for ever.
  Pipe go;
  Child admin([&go] {
    if (go.Receive() != 1) return 2;
    unsetenv("RUZIDE_REGISTRY_READONLY");
    TempStoreFolder::Reopen();
    HKEY app = CreateKey(HKEY_LOCAL_MACHINE, "Software\\App");
    return app != nullptr && SetDword(app, "d", 3) == ERROR_SUCCESS ? 0 : 1;
  });
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
  go.Send(1);
  EXPECT_EQ(0, admin.Wait());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));
  EXPECT_EQ(3u, QueryDword(key, "d"));
  ASSERT_EQ(ERROR_SUCCESS,
            RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "e", 4));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));
  RegCloseKey(key);
  CloseHandle(event);

  // Keys outside Software, and the root itself, are not virtualized.
  EXPECT_EQ(nullptr, CreateKey(HKEY_LOCAL_MACHINE, "System\\x"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_LOCAL_MACHINE, "v", 1));
}

}  // namespace
