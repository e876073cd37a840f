// Key tables, lookups, paths and the children a key creates and owns at run time.
#include <string>
#include <vector>

#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

class KeyTest : public IsolatedRegistryTest {};

// Records the order in which nodes are destroyed.
std::vector<std::string>* g_destroyed = nullptr;
class TracedInt : public CRegDeclInt {
 public:
  explicit TracedInt(const char* name) : CRegDeclInt(name, 0, 0, 0) {}
  ~TracedInt() override { g_destroyed->push_back(m_strName.GetString()); }
};

TEST_F(KeyTest, KeyAndValueMayShareAName) {
  CRDCLg_oApp tree;
  CRegDeclKey& base = tree.m_oBase;
  CRegDeclKey* key = base.GetChildKey("Twin");
  CRegDeclInt* value = base.GetChildInt("Twin", 1);  // a key of the name does not matter
  ASSERT_NE(nullptr, key);
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(key, base.GetChild("Twin", nullptr));
  EXPECT_EQ(value, base.GetChild("Twin", key));
  EXPECT_EQ(key, base.GetChild("Twin", value));
  EXPECT_EQ(nullptr, base.GetChild("twin", nullptr));  // exact case
  EXPECT_EQ(nullptr, base.GetChild(nullptr, nullptr));
  EXPECT_EQ(&tree.m_oBase.m_oPrefs, tree.m_oBase.GetChild("Pref%c", 's', nullptr));
}

TEST_F(KeyTest, RebindingANameReplacesOnlyThatMapsEntry) {
  CRDCLg_oApp tree;
  CRegDeclKey& empty = tree.m_oBase.m_oEmpty;
  CRegDeclInt* number = empty.GetChildInt("Same", 1);
  CRegDeclString* text = new CRegDeclString("Same", "t");
  empty.BindChild(text, 1);
  EXPECT_EQ(text, empty.GetChild("Same", nullptr));
  EXPECT_EQ(nullptr, empty.GetChildInt("Same", 1));  // the name now means a string
  EXPECT_EQ(text, empty.GetChildString("Same", "x"));
  text->m_bDirty = number->m_bDirty = 0;
}

// An owned child reads and writes through the root of the tree it is bound into, not
// that of the tree constructed last.
TEST_F(KeyTest, OwnedChildrenTakeTheParentsHiveDeclaredOnesKeepTheirs) {
  CRDCLg_oDisplay first;
  CRDCLg_oApp second;  // the current hive now
  CRegDeclInt* owned = new CRegDeclInt("Owned", 0, 0, 0);
  CRegDeclInt* borrowed = new CRegDeclInt("Borrowed", 0, 0, 0);
  first.m_oDisplay.BindChild(owned, 1);
  first.m_oDisplay.BindChild(borrowed, 0);
  EXPECT_EQ(&first, owned->m_pHive);
  EXPECT_EQ(&second, borrowed->m_pHive);
  first.m_oDisplay.RemoveChild(borrowed, 0);  // not owned, but allocated with new
  owned->m_bDirty = 0;
}

TEST_F(KeyTest, FullPathsOfKeysValuesAndTheHive) {
  CRDCLg_oApp tree;
  CString path;
  tree.GetFullPath(path);
  EXPECT_STREQ("", path);
  tree.m_oBase.m_oPrefs.m_oTitle.GetFullPath(path);
  EXPECT_STREQ("Software\\Test\\Prefs\\Title", path);

  // Binding always inserts a backslash; GetFullPath does not double one.
  CRegDeclKey* slash = tree.m_oBase.GetChildKey("Trail\\");
  CRegDeclKey* inner = slash->GetChildKey("X");
  CRegDeclInt* below = inner->GetChildInt("V", 0);
  EXPECT_STREQ("Software\\Test\\Trail\\\\X", below->m_strFullPath);
  inner->GetFullPath(path);
  EXPECT_STREQ("Software\\Test\\Trail\\X", path);
  below->m_bDirty = 0;
}

// A child made at run time once and then found, the name's kind, and reading and clamping
// through it, are the access and value tests' part.
TEST_F(KeyTest, RunTimeChildrenAreCreatedOnceAndFoundAfterwards) {
  CRDCLg_oApp tree;
  CRegDeclKey& base = tree.m_oBase;
  EXPECT_EQ(nullptr, base.GetChildKeyFormName(nullptr, 1));
  // Declared children are returned, not re-created.
  EXPECT_EQ(&tree.m_oBase.m_oPrefs.m_oLevel, tree.m_oBase.m_oPrefs.GetChildInt("Level", 0));
  EXPECT_EQ(&tree.m_oBase.m_oPrefs, base.GetChildKeyFormName("Pref%c", 's'));
  CRegDeclKey* slot = base.GetChildKeyFormName("Slot%d", 8);
  EXPECT_STREQ("Slot8", slot->m_strName);
  EXPECT_STREQ("Software\\Test", slot->m_strFullPath);
  EXPECT_EQ(slot, base.GetChildKey("Slot8"));
  CRegDeclHive::s_aChildren.SetSize(0);
}

TEST_F(KeyTest, RemoveChildUnbindsDeletesAndOptionallyErases) {
  CRDCLg_oApp tree;
  CRegDeclKey& base = tree.m_oBase;
  CRegDeclInt* kept = base.GetChildInt("Kept", 3);    // dirty: written while removed
  CRegDeclInt* erased = base.GetChildInt("Gone", 4);  // written, then erased
  erased->WriteCache(0);
  CRegDeclKey* sub = base.GetChildKey("Sub");
  sub->GetChildInt("Deep", 1)->WriteCache(1);
  INT_PTR before = base.m_aChildren.GetSize();

  CRegDeclInt stranger("Stranger", 0, 0, 0);
  base.RemoveChild(&stranger, 1);  // not a child: nothing happens

  base.RemoveChild(kept, 0);
  EXPECT_EQ(3, StoredInt("Software\\Test", "Kept"));
  base.RemoveChild(erased, 1);
  EXPECT_FALSE(ValueThere("Software\\Test", "Gone"));
  base.RemoveChild(sub, 1);
  EXPECT_FALSE(KeyThere("Software\\Test\\Sub"));

  EXPECT_EQ(before - 3, base.m_aChildren.GetSize());
  for (const char* name : {"Kept", "Gone", "Sub"}) EXPECT_EQ(nullptr, base.GetChild(name, nullptr));
  // The declared children kept their order.
  EXPECT_EQ(&tree.m_oBase.m_oPrefs, base.m_aChildren[0]);
  EXPECT_EQ(&tree.m_oBase.m_oOwner, base.m_aChildren[2]);
  CRegDeclHive::s_aChildren.SetSize(0);
}

TEST_F(KeyTest, DestructorDeletesOwnedChildrenInCreationOrder) {
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  {
    CRDCLg_oApp tree;
    tree.SetWriteCacheOnDelete(0);
    for (const char* name : {"C", "A", "B"}) tree.m_oBase.BindChild(new TracedInt(name), 1);
  }
  EXPECT_EQ((std::vector<std::string>{"C", "A", "B"}), destroyed);
  g_destroyed = nullptr;
}

}  // namespace
