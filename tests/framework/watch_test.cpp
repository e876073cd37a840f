// CRegDeclWatch: changes made outside the tree reach its caches and are reported once,
// the application's own unsaved values win, and writes that change nothing report
// nothing.
#include <string>
#include <vector>

#include "framework/RegDeclWatch.h"
#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

#ifndef _WIN32
#include <poll.h>

#include "tests/library/ChildProcess.h"
#endif

namespace {

constexpr DWORD kSoon = 10000;

// Records what Apply reports, as "name: old -> new".
class RecordingWatch : public CRegDeclWatch {
 public:
  using CRegDeclWatch::CRegDeclWatch;
  void OnChange(CRegDeclValue& value, const char* pszOld, const char* pszNew) override {
    reports.push_back(std::string(value.m_strName) + ": " + pszOld + " -> " + pszNew);
  }
  // Waits for the change that the caller just made, then applies it.
  std::vector<std::string> Next() {
    reports.clear();
    if (Wait(kSoon)) Apply();
    return reports;
  }
  std::vector<std::string> reports;
};

class WatchTest : public IsolatedRegistryTest {};

TEST_F(WatchTest, OutsideChangesAreAppliedAndReportedAndOwnOnesWin) {
  CRDCLg_oApp tree;
  auto& prefs = tree.m_oBase.m_oPrefs;
  RecordingWatch watch(tree);
  ASSERT_TRUE(watch.IsValid());
  EXPECT_FALSE(watch.HasChanged());
  PutInt(kPrefs, "Level", 1);
  PutString(kPrefs, "Title", "Other");
  EXPECT_EQ((std::vector<std::string>{"Level: 0 -> 1", "Title: Untitled -> Other"}), watch.Next());
  EXPECT_EQ(1, prefs.m_oLevel.m_nValue);
  EXPECT_STREQ("Other", prefs.m_oTitle);
  EXPECT_FALSE(watch.HasChanged());
  // Letter case is a change of the cache, though assigning it would not be one.
  PutString(kPrefs, "Title", "OTHER");
  EXPECT_EQ(std::vector<std::string>{"Title: Other -> OTHER"}, watch.Next());
  unsigned char bytes[4] = {1, 2, 3, 0xff};
  Put(kPrefs, "Blob", REG_BINARY, bytes, 4);
  EXPECT_EQ(std::vector<std::string>{"Blob: 00 00 00 00 -> 01 02 03 ff"}, watch.Next());
  // A dirty value keeps the application's change; the store's value does not replace it.
  prefs.m_oLevel = 2;
  PutInt(kPrefs, "Level", 0);
  EXPECT_TRUE(watch.Next().empty());
  EXPECT_EQ(2, prefs.m_oLevel.m_nValue);
  // Writing what the cache holds reports nothing, from outside or from the tree itself.
  PutString(kPrefs, "Title", "OTHER");
  EXPECT_TRUE(watch.Next().empty());
  tree.SetWriteCacheOnDelete(0);
  prefs.m_oTitle = "Mine";
  EXPECT_TRUE(watch.Next().empty());
  EXPECT_FALSE(watch.HasChanged());
}

TEST_F(WatchTest, AWatchOfADeletedKeyFollowsTheKeyMadeAgain) {
  CRDCLg_oApp tree;
  RecordingWatch watch(tree.m_oBase.m_oPrefs);
  ASSERT_TRUE(watch.IsValid());
  PutInt(kPrefs, "Level", 1);
  ASSERT_EQ(std::vector<std::string>{"Level: 0 -> 1"}, watch.Next());
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, kPrefs));
  watch.Wait(1000);  // Windows signals a deleted key's watch; Wine does not
  watch.reports.clear();
  watch.Apply();
  EXPECT_EQ(std::vector<std::string>{"Level: 1 -> 0"}, watch.reports);
  PutInt(kPrefs, "Level", 2);
  EXPECT_EQ(std::vector<std::string>{"Level: 0 -> 2"}, watch.Next());
}

#ifndef _WIN32
TEST_F(WatchTest, ADescriptorPollsReadableWhenAnotherProcessChangesAValue) {
  CRDCLg_oApp tree;
  RecordingWatch watch(tree);
  pollfd ready = {watch.GetFileDescriptor(), POLLIN, 0};
  ASSERT_GE(ready.fd, 0);
  EXPECT_EQ(0, poll(&ready, 1, 0));
  Child writer([] { return SetDword(CreateKey(HKEY_CURRENT_USER, kPrefs), "Any", 5); });
  EXPECT_EQ(0, writer.Wait());
  ASSERT_EQ(1, poll(&ready, 1, kSoon));
  EXPECT_EQ(1, watch.Apply());
  EXPECT_EQ(5, tree.m_oBase.m_oPrefs.m_oAny.m_nValue);
  EXPECT_EQ(0, poll(&ready, 1, 0));
}
#endif

}  // namespace
