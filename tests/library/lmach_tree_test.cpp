// The local-machine language table: layout, the defaults' exact bytes, loading from the
// store and from a store the process may not write, and the bind sequence.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "RuzIde.h"
#include "platform/registry/RegistryStore.h"
#include "tests/framework/StoreFixture.h"
#include "tests/framework/TestTrees.h"

namespace {

using LMach = CRDCLg_oRegCmnLMach;
using Languages = LMach::CRDCLSWT_BF_CMN::CRDCLLanguages;

constexpr char kLanguages[] = "Software\\Tessary\\Brackenfield\\Common\\Languages";

struct SlotDefaults {
  std::string description;  // the exact bytes
  const char* character;
  int lang_id;
};

const SlotDefaults kSlots[] = {
    {"Deutsch", "A", 1031},
    {"English", "B", 1033},
    {std::string("\x46\x72\x61\x6E\xE7\x61\x69\x73"), "C", 1036},  // Latin-1
    {std::string("\x45\x73\x70\x61\xF1\x6F\x6C"), "D", 1034},      // Latin-1
    {"Italiano", "E", 1040},
    {std::string("\xD6\xD0\xCE\xC4"), "K", 2052},  // code page 936
    {"User Defined", "X", 0},
};

// Checks one declared slot class against its row (n from 1), by member name.
template <class Slot>
void ExpectSlot(Slot& slot, int n) {
  SCOPED_TRACE("Language" + std::to_string(n));
  const SlotDefaults& row = kSlots[n - 1];
  EXPECT_EQ("Language" + std::to_string(n), slot.m_strName.GetString());
  EXPECT_EQ(row.description, static_cast<const char*>(slot.m_oDescription));
  EXPECT_STREQ(row.character, slot.m_oFileExtension);
  EXPECT_EQ(row.lang_id, static_cast<int>(slot.m_oLangId));
  EXPECT_EQ(0, slot.m_oLangId.m_nMin);
  EXPECT_EQ(-1, slot.m_oLangId.m_nMax);
  CRegDeclObject* values[] = {&slot.m_oDescription, &slot.m_oFileExtension, &slot.m_oLangId};
  ASSERT_EQ(3, slot.m_aChildren.GetSize());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(values[i], slot.m_aChildren.GetAt(i));
}

void ExpectDefaultTable(LMach& tree) {
  Languages& l = tree.m_oSWT_BF_CMN.m_oLanguages;
  EXPECT_EQ(6, static_cast<int>(l.m_oNumLanguages));
  ExpectSlot(l.m_oLanguage1, 1);
  ExpectSlot(l.m_oLanguage2, 2);
  ExpectSlot(l.m_oLanguage3, 3);
  ExpectSlot(l.m_oLanguage4, 4);
  ExpectSlot(l.m_oLanguage5, 5);
  ExpectSlot(l.m_oLanguage6, 6);
  ExpectSlot(l.m_oLanguage7, 7);
}

class LMachTreeTest : public StoreTest {
 protected:
  static void PutMachineInt(const std::string& path, const char* name, int value) {
    Put(path.c_str(), name, REG_DWORD, &value, 4, HKEY_LOCAL_MACHINE);
  }
  static void PutMachineString(const std::string& path, const char* name, const char* text) {
    Put(path.c_str(), name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1), HKEY_LOCAL_MACHINE);
  }
};

TEST_F(LMachTreeTest, EmptyStoreGivesTheDefaultTable) {
  LMach tree;
  ExpectDefaultTable(tree);
  // Slot 3's description: eight bytes with the Latin-1 c cedilla fifth.
  const std::string french(
      static_cast<const char*>(tree.m_oSWT_BF_CMN.m_oLanguages.m_oLanguage3.m_oDescription));
  ASSERT_EQ(8u, french.size());
  EXPECT_EQ('\xE7', french[4]);
  EXPECT_TRUE(KeyThere((std::string(kLanguages) + "\\Language7").c_str(), HKEY_LOCAL_MACHINE));
}

TEST_F(LMachTreeTest, StoredValuesReplaceTheDefaults) {
  PutMachineInt(kLanguages, "NumLanguages", 9);
  PutMachineString(std::string(kLanguages) + "\\Language7", "Description", "Nederlands");
  PutMachineInt(std::string(kLanguages) + "\\Language7", "LangId", 1043);
  LMach tree;
  Languages& l = tree.m_oSWT_BF_CMN.m_oLanguages;
  EXPECT_EQ(9, static_cast<int>(l.m_oNumLanguages));
  EXPECT_EQ(1, l.m_oNumLanguages.m_bInRegistry);
  EXPECT_STREQ("Nederlands", l.m_oLanguage7.m_oDescription);
  EXPECT_EQ(1043, static_cast<int>(l.m_oLanguage7.m_oLangId));
  EXPECT_STREQ("X", l.m_oLanguage7.m_oFileExtension);
  // Only declared slots are built at load; the count does not create any.
  EXPECT_EQ(8, l.m_aChildren.GetSize());
}

TEST_F(LMachTreeTest, UnwritableMachineStoreLeavesTheDefaults) {
  PutMachineInt(kLanguages, "NumLanguages", 7);
  PutMachineString(std::string(kLanguages) + "\\Language1", "Description", "Dansk");
  // Reads open their key for writing too, which a process without write access to the
  // machine root is refused.
  setenv("RUZIDE_REGISTRY_READONLY", "HKEY_LOCAL_MACHINE", 1);
  ruzide::registry::CloseAllStores();
  LMach tree;
  ExpectDefaultTable(tree);
  EXPECT_EQ(0, tree.m_oSWT_BF_CMN.m_oLanguages.m_oNumLanguages.m_bInRegistry);
}

TEST_F(LMachTreeTest, BindsInDeclarationOrderUnderTheRightParents) {
  RecordingSink sink;
  ruzide::decl::EmitMembers<LMach>(sink);
  std::string expected =
      "BBB"
      "BBBBR";  // base, Languages, NumLanguages; Language1
  for (int slot = 2; slot <= 7; ++slot) expected += "BBBBR";
  expected += "RR";
  EXPECT_EQ(expected, sink.text);

  LMach tree;
  EXPECT_EQ(HKEY_LOCAL_MACHINE, tree.m_hRootKey);
  EXPECT_EQ(0, CRegDeclHive::s_aChildren.GetSize());
  EXPECT_EQ(0, CRegDeclHive::s_aParentStack.GetSize());
  auto& base = tree.m_oSWT_BF_CMN;
  Languages& l = base.m_oLanguages;
  CRegDeclKey* lang_id_parent = l.m_oLanguage4.m_oLangId.m_pParent;
  EXPECT_EQ(&l.m_oLanguage4, lang_id_parent);
  EXPECT_EQ(&l, lang_id_parent->m_pParent);
  EXPECT_EQ(&base, l.m_pParent);
  EXPECT_EQ(&tree, base.m_pParent);
  EXPECT_EQ(nullptr, tree.m_pParent);
  CRegDeclObject* children[] = {&l.m_oNumLanguages, &l.m_oLanguage1, &l.m_oLanguage2,
                                &l.m_oLanguage3,    &l.m_oLanguage4, &l.m_oLanguage5,
                                &l.m_oLanguage6,    &l.m_oLanguage7};
  ASSERT_EQ(8, l.m_aChildren.GetSize());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(children[i], l.m_aChildren.GetAt(i));
  EXPECT_EQ(std::string(kLanguages) + "\\Language4",
            l.m_oLanguage4.m_oLangId.m_strFullPath.GetString());
}

}  // namespace
