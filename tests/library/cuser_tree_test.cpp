// The current-user tree: layout, defaults and bounds, loading, assignment and clamping,
// write-back, and the bind sequence.
#include <gtest/gtest.h>

#include <string>

#include "RuzIde.h"
#include "tests/framework/StoreFixture.h"
#include "tests/framework/TestTrees.h"

namespace {

using CUser = CRDCLg_oRegCmnCUser;

constexpr char kBase[] = "Software\\Tessary\\Brackenfield\\Common";

std::string KeyPath(const char* key) { return std::string(kBase) + "\\" + key; }

// One row of the layout, with the member that declares it.
struct Row {
  const char* key;
  const char* name;
  int def, min, max;
  CRegDeclInt& (*node)(CUser&);
};

const Row kRows[] = {
    {"Languages", "CurrentLangId", 1033, 0, -1,
     [](CUser& t) -> CRegDeclInt& { return t.m_oSWT_BF_CMN.m_oLanguages.m_oCurrentLangId; }},
    {"Regional", "Date", 0, 0, 2,
     [](CUser& t) -> CRegDeclInt& { return t.m_oSWT_BF_CMN.m_oRegional.m_oDate; }},
    {"Regional", "Time", 0, 0, 1,
     [](CUser& t) -> CRegDeclInt& { return t.m_oSWT_BF_CMN.m_oRegional.m_oTime; }},
    {"Regional", "System", 0, 0, 1,
     [](CUser& t) -> CRegDeclInt& { return t.m_oSWT_BF_CMN.m_oRegional.m_oSystem; }},
    {"Regional", "Decimal", 0, 0, 1,
     [](CUser& t) -> CRegDeclInt& { return t.m_oSWT_BF_CMN.m_oRegional.m_oDecimal; }},
    {"Settings", "CurrentMnemonic", 1, 0, 1,
     [](CUser& t) -> CRegDeclInt& { return t.m_oSWT_BF_CMN.m_oSettings.m_oCurrentMnemonic; }},
};

class CUserTreeTest : public StoreTest {};

TEST_F(CUserTreeTest, EmptyStoreGivesTheDefaultsAndCreatesOnlyTheKeys) {
  {
    CUser tree;
    for (const Row& row : kRows) {
      SCOPED_TRACE(row.name);
      CRegDeclInt& v = row.node(tree);
      EXPECT_STREQ(row.name, v.m_strName);
      EXPECT_EQ(row.def, static_cast<int>(v));
      EXPECT_EQ(row.min, v.m_nMin);
      EXPECT_EQ(row.max, v.m_nMax);
      EXPECT_EQ(KeyPath(row.key), v.m_strFullPath.GetString());
      EXPECT_STREQ(row.key, v.m_pParent->m_strName);
      EXPECT_EQ(0, v.m_bInRegistry);
      EXPECT_EQ(0, v.m_bDirty);
      EXPECT_TRUE(KeyThere(KeyPath(row.key).c_str()));
      EXPECT_FALSE(ValueThere(KeyPath(row.key).c_str(), row.name));
    }
  }
  // A tree that was only read writes nothing when it goes.
  for (const Row& row : kRows) EXPECT_FALSE(ValueThere(KeyPath(row.key).c_str(), row.name));
}

TEST_F(CUserTreeTest, StoredValuesLoadUnclampedAndAssignmentsClamp) {
  PutInt(KeyPath("Regional").c_str(), "Date", 7);
  {
    CUser tree;
    auto& date = tree.m_oSWT_BF_CMN.m_oRegional.m_oDate;
    EXPECT_EQ(7, static_cast<int>(date));  // reads do not clamp
    EXPECT_EQ(1, date.m_bInRegistry);
    ResetCounts();
    date = 7;  // equal to the cache: compared before clamping, so nothing changes
    EXPECT_EQ(0, date.m_bDirty);
    date = 5;
    EXPECT_EQ(2, static_cast<int>(date));
    date = 0;
    date = -1;  // 0xFFFFFFFF, compared unsigned: above the maximum
    EXPECT_EQ(2, static_cast<int>(date));
    EXPECT_EQ(1, date.m_bDirty);
    auto& lang = tree.m_oSWT_BF_CMN.m_oLanguages.m_oCurrentLangId;
    lang = -1;  // bounds 0 and 0xFFFFFFFF let everything through
    EXPECT_EQ(-1, static_cast<int>(lang));
    EXPECT_EQ(0, Writes());  // write-back: nothing until the tree goes
  }
  EXPECT_EQ(2, StoredInt(KeyPath("Regional").c_str(), "Date"));
  EXPECT_EQ(-1, StoredInt(KeyPath("Languages").c_str(), "CurrentLangId"));
  EXPECT_FALSE(ValueThere(KeyPath("Regional").c_str(), "Time"));
}

TEST_F(CUserTreeTest, CopyAssignmentIsMemberwiseAndWritesNothing) {
  {
    CUser tree;
    auto& date = tree.m_oSWT_BF_CMN.m_oRegional.m_oDate;
    CUser::CRDCLSWT_BF_CMN::CRDCLRegional::CRDCLDate copy(date);
    EXPECT_EQ(date.m_pParent, copy.m_pParent);
    date = 2;
    ASSERT_EQ(1, date.m_bDirty);
    date = copy;  // back to the clean copy: nothing left to write
    EXPECT_EQ(0, static_cast<int>(date));
    EXPECT_EQ(0, date.m_bDirty);
    // The copy is bound nowhere: the key still finds the original.
    EXPECT_EQ(&date, tree.m_oSWT_BF_CMN.m_oRegional.GetChild("Date", nullptr));
  }
  EXPECT_EQ(0, Writes());
  EXPECT_FALSE(ValueThere(KeyPath("Regional").c_str(), "Date"));
}

TEST_F(CUserTreeTest, BindsInDeclarationOrderUnderTheRightParents) {
  RecordingSink sink;
  ruzide::decl::EmitMembers<CUser>(sink);
  EXPECT_EQ("BBBRBBBBBRBBRR", sink.text);

  CUser tree;
  EXPECT_EQ(HKEY_CURRENT_USER, tree.m_hRootKey);
  EXPECT_EQ(0, CRegDeclHive::s_aChildren.GetSize());
  EXPECT_EQ(0, CRegDeclHive::s_aParentStack.GetSize());
  auto& base = tree.m_oSWT_BF_CMN;
  ASSERT_EQ(1, tree.m_aChildren.GetSize());
  EXPECT_EQ(&base, tree.m_aChildren.GetAt(0));
  EXPECT_EQ(&tree, base.m_pParent);
  EXPECT_STREQ(kBase, base.m_strName);
  EXPECT_STREQ("", base.m_strFullPath);
  CRegDeclObject* keys[] = {&base.m_oLanguages, &base.m_oRegional, &base.m_oSettings};
  ASSERT_EQ(3, base.m_aChildren.GetSize());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(keys[i], base.m_aChildren.GetAt(i));
    EXPECT_EQ(&base, keys[i]->m_pParent);
  }
  CString path;
  base.m_oLanguages.GetFullPath(path);
  EXPECT_EQ(KeyPath("Languages"), path.GetString());
  // Values sit in their key's array in declaration order.
  auto& regional = base.m_oRegional;
  CRegDeclObject* values[] = {&regional.m_oDate, &regional.m_oTime, &regional.m_oSystem,
                              &regional.m_oDecimal};
  ASSERT_EQ(4, regional.m_aChildren.GetSize());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(values[i], regional.m_aChildren.GetAt(i));
}

}  // namespace
