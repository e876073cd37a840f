// What an application's own declaration gets wrong, or needs beyond the three first
// value kinds: values and keys directly under the hive, mistakes that compile (reported by
// Verify), signed bounds, and the REG_QWORD, REG_MULTI_SZ and REG_EXPAND_SZ values.
// Mistakes the macros refuse to compile are checked by the declaration_errors cases.
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/RegDeclWalk.h"
#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

// clang-format off
// A first declaration as a newcomer writes it: values straight under the hive.
REGDECL_HIVE_BEGIN(g_oFlat, HKEY_CURRENT_USER)
  REGDECL_INT(Runs, "RuzIdeTestRuns", 0, 0, 0)
  REGDECL_KEY_BEGIN(Window, "RuzIdeTestWindow")
    REGDECL_SIGNED_INT(Left, "Left", 0, -7680, 7680)
    REGDECL_QWORD(Bytes, "Bytes", 5, 0, 1LL << 40)
    REGDECL_STRING_LIST(Recent, "Recent")
    REGDECL_EXPAND_STRING(Folder, "Folder", "%RUZIDE_TEST_HOME%\\x")
  REGDECL_KEY_END(Window)
REGDECL_HIVE_END(g_oFlat)

// A node written by hand among declared ones.
REGDECL_HIVE_BEGIN(g_oByHand, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(Window, "Window")
    CRegDeclInt m_oByHand{"ByHand", 0, 0, 0};
    REGDECL_INT(Width, "Width", 1, 0, 0)
  REGDECL_KEY_END(Window)
REGDECL_HIVE_END(g_oByHand)

// One top-level key: setting names are relative to it.
REGDECL_HIVE_BEGIN(g_oBased, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(App, "RuzIdeTestApp\\Demo")
    REGDECL_STRING(Title, "Title", "Untitled")
    REGDECL_KEY_BEGIN(Panes, "Panes\\Left")
      REGDECL_BINARY(Layout, "Layout", 3)
      REGDECL_INT(Mode, "Mode", 7, 0, -1)
    REGDECL_KEY_END(Panes)
  REGDECL_KEY_END(App)
REGDECL_HIVE_END(g_oBased)

// A root no platform's registry has (the old HKEY_DYN_DATA).
REGDECL_HIVE_BEGIN(g_oNoRoot, reinterpret_cast<HKEY>(static_cast<intptr_t>(
                                  static_cast<int>(0x80000006u))))
REGDECL_HIVE_END(g_oNoRoot)
// clang-format on

class DeclaringTest : public IsolatedRegistryTest {
 protected:
  // Values at the root survive the test's isolation on Windows: take them away.
  ~DeclaringTest() override {
    for (const char* name : {"RuzIdeTestRuns", "RuzIdeTestLater", "RuzIdeTestMirrored"}) {
      RegDeleteValueA(HKEY_CURRENT_USER, name);
    }
  }
};

TEST_F(DeclaringTest, TheHivesOwnValuesAndKeysWorkLikeAnyOthers) {
  PutInt("", "RuzIdeTestRuns", 3);
  PutString("", "RuzIdeTestMirrored", "m");
  MakeKey("RuzIdeTestWindow\\Sub");
  {
    CRDCLg_oFlat tree;
    EXPECT_EQ(3, int(tree.m_oRuns));
    EXPECT_EQ(1, tree.m_oRuns.m_bInRegistry);
    EXPECT_EQ(1, tree.m_bInRegistry);
    tree.m_oRuns = 4;
    tree.GetChildInt("RuzIdeTestLater", 9);  // a run-time child, written at unload
    CStringList keys;
    EXPECT_EQ(1, tree.ReadKeyNames(nullptr, keys, 1));
    EXPECT_TRUE(keys.Find("RuzIdeTestWindow") != nullptr);
    CRegDeclKey& as_key = tree;  // the hive's own counts take a path
    EXPECT_GT(as_key.GetSubKeyCount(), 0);
    EXPECT_GE(as_key.GetValueCount(), 2);
    tree.MirrorRegistry();
    EXPECT_NE(nullptr, tree.GetChild("RuzIdeTestMirrored", nullptr));
    // A key directly under the hive can be deleted; the registry keeps what it does not
    // know (Sub), so the key stays and the answer says so.
    EXPECT_EQ(0, tree.m_oWindow.Delete());
    tree.m_oWindow.RemoveChild(tree.m_oWindow.GetChildKey("Sub"), 1);
    EXPECT_EQ(1, tree.m_oWindow.Delete());
    EXPECT_FALSE(KeyThere("RuzIdeTestWindow"));
    tree.m_oWindow.m_oLeft.m_bDirty = 0;  // nothing below is written back
  }
  EXPECT_EQ(4, StoredInt("", "RuzIdeTestRuns"));
  EXPECT_EQ(9, StoredInt("", "RuzIdeTestLater"));
  EXPECT_FALSE(KeyThere("RuzIdeTestWindow"));
}

TEST_F(DeclaringTest, VerifyReportsWhatOnlyTheBuiltTreeShows) {
  CRDCLg_oFlat good;
  EXPECT_STREQ("", ruzide::decl::Verify(good));
  // Run-time children match names with case, the registry without.
  good.m_oWindow.GetChildInt("left", 0)->m_bDirty = 0;
  good.GetChildKey("RUZIDETESTWINDOW");
  const CString text = ruzide::decl::Verify(good);
  EXPECT_STREQ(
      "RuzIdeTestWindow\\left: a second value of this name (letter case aside) in the same key\n"
      "RUZIDETESTWINDOW: a second key of this name (letter case aside) in the same key\n",
      text);
  good.m_oWindow.RemoveChild(good.m_oWindow.GetChild("left", nullptr), 0);
  good.RemoveChild(good.GetChild("RUZIDETESTWINDOW", nullptr), 0);
  testing::internal::CaptureStderr();
  {
    CRDCLg_oByHand by_hand;
    const std::string printed = testing::internal::GetCapturedStderr();
    const CString found = ruzide::decl::Verify(by_hand);
    EXPECT_STREQ(
        "(declaration): 1 node(s) not declared with the REGDECL_ macros among the declared "
        "members; the members after them are bound to the wrong nodes\n",
        found);
    // The hand-written node took the place of the declared one after it.
    EXPECT_EQ(nullptr, by_hand.m_oWindow.m_oWidth.m_pParent);
#ifdef NDEBUG
    EXPECT_EQ("", printed);
#else
    EXPECT_NE(std::string::npos, printed.find("has mistakes:\n" + std::string(found)));
#endif
  }
  CRDCLg_oNoRoot no_root;
  EXPECT_STREQ("(root): not a predefined root key this platform's registry has\n",
               ruzide::decl::Verify(no_root));
  // Bounds and names the macros cannot see: nodes made by hand.
  good.m_oWindow.BindChild(new CRegDeclInt("Bad", 5, 2, 1), 1);
  good.BindChild(new CRegDeclKey("\\Lead"), 1);
  EXPECT_STREQ(
      "RuzIdeTestWindow\\Bad: min is above max compared unsigned, as the int clamps\n"
      "\\Lead: a key name must not be empty nor start with a backslash\n",
      ruzide::decl::VerifyTree(good));
  good.RemoveChild(good.GetChild("\\Lead", nullptr), 0);
  good.m_oWindow.RemoveChild(good.m_oWindow.GetChild("Bad", nullptr), 0);
}

TEST_F(DeclaringTest, NewKindsKeepTheCacheProtocol) {
  const char* const kWindow = "RuzIdeTestWindow";
  {
    CRDCLg_oFlat tree;
    auto& window = tree.m_oWindow;
    EXPECT_EQ(0, int(window.m_oLeft));
    window.m_oLeft = -9000;  // signed bounds: -7680, not 7680 as an unsigned compare gives
    EXPECT_EQ(-7680, int(window.m_oLeft));
    window.m_oBytes = -1;
    EXPECT_EQ(0, (long long)window.m_oBytes);
    window.m_oBytes = 1LL << 35;
    CStringList recent;
    recent.AddTail("b.txt");
    recent.AddTail("");
    recent.AddTail("a.txt");
    window.m_oRecent = recent;
    EXPECT_EQ(2, window.m_oRecent.GetCount());  // the empty entry would end the list
#ifdef _WIN32
    _putenv_s("RUZIDE_TEST_HOME", "/home/t");
#else
    setenv("RUZIDE_TEST_HOME", "/home/t", 1);
#endif
    EXPECT_STREQ("/home/t\\x", window.m_oFolder.GetExpanded());
    window.m_oFolder = "%RUZIDE_UNSET_VAR%\\%%";
    EXPECT_STREQ("%RUZIDE_UNSET_VAR%\\%%", window.m_oFolder.GetExpanded());
    EXPECT_EQ(0, Writes());  // write-back: nothing until the values go
  }
  std::string data;
  DWORD type = 0;
  ASSERT_TRUE(Stored(kWindow, "Bytes", &data, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_QWORD), type);
  EXPECT_EQ(std::string("\0\0\0\0\x08\0\0\0", 8), data);
  ASSERT_TRUE(Stored(kWindow, "Recent", &data, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  EXPECT_EQ(std::string("b.txt\0a.txt\0\0", 13), data);
  ASSERT_TRUE(Stored(kWindow, "Folder", &data, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
  EXPECT_EQ(-7680, StoredInt(kWindow, "Left"));

  CRDCLg_oFlat again;
  again.SetWriteCacheOnDelete(0);
  auto& window = again.m_oWindow;
  EXPECT_EQ(1LL << 35, (long long)window.m_oBytes);
  CStringList read;
  window.m_oRecent.GetValue(read);
  ASSERT_EQ(2, read.GetCount());
  EXPECT_STREQ("a.txt", read.GetTail());
  EXPECT_STREQ("%RUZIDE_UNSET_VAR%\\%%", window.m_oFolder);
  ResetCounts();
  window.m_oRecent = read;                      // unchanged: no write
  window.m_oFolder = "%ruzide_unset_var%\\%%";  // a string's change test ignores case
  EXPECT_EQ(0, Writes());
  read.RemoveHead();
  window.m_oRecent = read;  // write-through
  EXPECT_EQ(1, Writes());
  ASSERT_TRUE(Stored(kWindow, "Recent", &data));
  EXPECT_EQ(std::string("a.txt\0\0", 7), data);
  EXPECT_EQ(1, window.Delete());
}

// The walk names every value below the base, tells every kind apart and shows the
// bounds as they compare; it reads the nodes only.
TEST_F(DeclaringTest, WalkDescribesEveryKindWithoutTouchingTheRegistry) {
  PutInt("RuzIdeTestWindow", "Left", -5);
  std::vector<std::string> rows;
  auto collect = [](const ruzide::decl::ValueInfo& v, void* out) {
    char row[512];
    snprintf(row, sizeof row, "%s|%s|%s|%s|%d|%d|%lld|%lld|%lld|%lld|%s|%d|%d",
             v.strSetting.GetString(), v.strKey.GetString(), v.strValueName.GetString(), v.pszType,
             v.kind, v.bSignedBounds, v.nDefault, v.nMin, v.nMax, v.nValue, v.strValue.GetString(),
             v.bInRegistry, v.bDirty);
    static_cast<std::vector<std::string>*>(out)->push_back(row);
  };
  CRDCLg_oFlat flat;
  flat.m_oWindow.m_oBytes = 9;
  ResetCounts();
  ruzide::decl::WalkTree(flat, collect, &rows);
  EXPECT_EQ("", ruzide::decl::TreeBase(flat));
  const std::string w = "HKEY_CURRENT_USER\\RuzIdeTestWindow|";
  EXPECT_EQ((std::vector<std::string>{
                "RuzIdeTestRuns|HKEY_CURRENT_USER|RuzIdeTestRuns|REG_DWORD|0|0|0|0|0|0||0|0",
                "RuzIdeTestWindow.Left|" + w + "Left|REG_DWORD|1|1|0|-7680|7680|-5||1|0",
                "RuzIdeTestWindow.Bytes|" + w + "Bytes|REG_QWORD|2|1|5|0|1099511627776|9||0|1",
                "RuzIdeTestWindow.Recent|" + w + "Recent|REG_MULTI_SZ|5|0|0|0|0|0||0|0",
                "RuzIdeTestWindow.Folder|" + w +
                    "Folder|REG_EXPAND_SZ|4|0|0|0|0|0|%RUZIDE_TEST_HOME%\\x|0|0"}),
            rows);
  flat.m_oWindow.m_oBytes.m_bDirty = 0;

  rows.clear();
  CRDCLg_oBased based;
  ruzide::decl::WalkTree(based, collect, &rows);
  EXPECT_EQ("RuzIdeTestApp\\Demo", ruzide::decl::TreeBase(based));
  const std::string k = "HKEY_CURRENT_USER\\RuzIdeTestApp\\Demo";
  EXPECT_EQ((std::vector<std::string>{
                "Title|" + k + "|Title|REG_SZ|3|0|0|0|0|0|Untitled|0|0",
                "Panes.Left.Layout|" + k + "\\Panes\\Left|Layout|REG_BINARY|6|0|0|0|0|0||0|0",
                "Panes.Left.Mode|" + k + "\\Panes\\Left|Mode|REG_DWORD|0|0|7|0|4294967295|7||0|0"}),
            rows);
  EXPECT_EQ(0, Writes());
}

}  // namespace
