// Name enumeration of subkeys and values, with and without the key's own children.
#include <set>
#include <string>
#include <vector>

#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

std::vector<std::string> Names(const CStringList& list) {
  std::vector<std::string> out;
  for (POSITION pos = list.GetHeadPosition(); pos;) out.push_back(list.GetNext(pos).GetString());
  return out;
}
typedef std::vector<std::string> V;

using NamesTest = IsolatedRegistryTest;

TEST_F(NamesTest, KeyNamesAppendStringNamesEmptyFirst) {
  MakeKey("Software\\Test\\Prefs\\Sub");
  PutString(kPrefs, "Extra", "e");
  CRDCLg_oApp tree;
  CStringList list;
  list.AddTail("Before");
  EXPECT_EQ(1, tree.m_oBase.ReadKeyNames(nullptr, list, 0));
  // The empty declared key exists only as a declaration.
  EXPECT_EQ((V{"Before", "Prefs"}), Names(list));
  EXPECT_EQ(1, tree.m_oBase.ReadStringNames(kPrefs, list, 0));
  EXPECT_EQ((V{"Extra"}), Names(list));
}

TEST_F(NamesTest, ChildrenFirstAndExactCaseDeDuplication) {
  PutString(kPrefs, "Title", "stored");
  PutString(kPrefs, "TITLE", "other case");  // the registry folds it onto Title
  PutString(kPrefs, "title2", "t");
  CRDCLg_oApp tree;
  auto& prefs = tree.m_oBase.m_oPrefs;
  prefs.GetChildString("Alias", "");  // a child the registry lacks
  CStringList list;
  EXPECT_EQ(1, prefs.ReadStringNames(nullptr, list, 1));
  V names = Names(list);
  ASSERT_EQ(3u, names.size());
  EXPECT_EQ((std::set<std::string>{"Title", "Alias"}),
            std::set<std::string>(names.begin(), names.begin() + 2));
  EXPECT_EQ("title2", names[2]);
  tree.m_oBase.m_oPrefs.m_oTitle.m_bDirty = 0;
  prefs.GetChildString("Alias", "")->m_bDirty = 0;
}

TEST_F(NamesTest, TypesAreMatchedExactlyAndTheUnnamedValueNeverListed) {
  PutString(kPrefs, "Expand", "%PATH%", REG_EXPAND_SZ);
  PutString(kPrefs, "", "unnamed");
  PutInt(kPrefs, "Count", 3);
  CRDCLg_oApp tree;
  auto& prefs = tree.m_oBase.m_oPrefs;
  CStringList list;
  EXPECT_EQ(1, prefs.ReadStringNames(nullptr, list, 0));
  EXPECT_EQ(V{}, Names(list));
  EXPECT_EQ(1, prefs.ReadNames(nullptr, list, REG_EXPAND_SZ, 0));
  EXPECT_EQ((V{"Expand"}), Names(list));
  ResetCounts();
  EXPECT_EQ(0, prefs.ReadNames(nullptr, list, REG_EXPAND_SZ, 1));  // no map for type 2
  EXPECT_EQ(0, Calls());
  EXPECT_EQ((V{"Expand"}), Names(list));
  EXPECT_EQ(1, prefs.ReadIntNames(nullptr, list, 0));
  EXPECT_EQ((V{"Count"}), Names(list));
}

TEST_F(NamesTest, ValueNamesRunThreePassesAndStopOnAMissingKey) {
  PutString(kPrefs, "S", "s");
  PutInt(kPrefs, "I", 1);
  unsigned char b = 1;
  Put(kPrefs, "B", REG_BINARY, &b, 1);
  CRDCLg_oApp tree;
  CStringList list;
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.ReadValueNames(nullptr, list, 0));
  EXPECT_EQ((V{"S", "I", "B"}), Names(list));

  // A missing key: the string pass lists the children, fails, and nothing follows.
  CRegDeclKey* ghost = tree.m_oBase.GetChildKey("Ghost");
  ghost->BindChild(new CRegDeclString("Label", ""), 1);
  ghost->BindChild(new CRegDeclInt("Number", 0, 0, 0), 1);
  EXPECT_EQ(1, ghost->Delete());  // binding the string created the key; now it is gone
  EXPECT_EQ(0, ghost->ReadValueNames(nullptr, list, 1));
  EXPECT_EQ((V{"Label"}), Names(list));

  for (int i = 0; i < ghost->m_aChildren.GetSize(); ++i)
    static_cast<CRegDeclValue*>(ghost->m_aChildren[i])->m_bDirty = 0;
}

}  // namespace
