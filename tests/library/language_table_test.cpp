// The answers of the six language functions (LanguageTable) on a local-machine tree of
// the test's own: the default table, changed tables, fallbacks, and the run-time slots
// that questions beyond the declared ones leave behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LanguageTable.h"
#include "RuzIde.h"
#include "tests/framework/StoreFixture.h"

namespace {

using ruzide::api::LanguageTable;
using LMach = CRDCLg_oRegCmnLMach;

const std::string kLanguages = "Software\\Tessary\\Brackenfield\\Common\\Languages";

std::string SlotPath(int n) { return kLanguages + "\\Language" + std::to_string(n); }

std::vector<DWORD> Installed(LanguageTable& table, CDWordArray& ids) {
  EXPECT_EQ(1, table.InstalledLanguages(ids));
  std::vector<DWORD> out;
  for (INT_PTR i = 0; i < ids.GetSize(); ++i) out.push_back(ids.GetAt(i));
  return out;
}

class LanguageTableTest : public StoreTest {
 protected:
  static void PutMachineInt(const std::string& path, const char* name, int value) {
    Put(path.c_str(), name, REG_DWORD, &value, 4, HKEY_LOCAL_MACHINE);
  }
  static void PutMachineString(const std::string& path, const char* name, const char* text) {
    Put(path.c_str(), name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1), HKEY_LOCAL_MACHINE);
  }
  static bool MachineValue(const std::string& path, const char* name, std::string* data) {
    return Stored(path.c_str(), name, data, nullptr, HKEY_LOCAL_MACHINE);
  }
  static void SetCount(LMach& tree, int n) { tree.m_oSWT_BF_CMN.m_oLanguages.m_oNumLanguages = n; }
};

TEST_F(LanguageTableTest, InstalledLanguagesAppendInSlotOrder) {
  LMach tree;
  LanguageTable table(&tree);
  CDWordArray ids;
  const std::vector<DWORD> six = {1031, 1033, 1036, 1034, 1040, 2052};
  EXPECT_EQ(six, Installed(table, ids));
  std::vector<DWORD> twelve = six;
  twelve.insert(twelve.end(), six.begin(), six.end());
  EXPECT_EQ(twelve, Installed(table, ids));  // appended, not replaced
  SetCount(tree, 0);
  EXPECT_EQ(twelve, Installed(table, ids));
}

TEST_F(LanguageTableTest, IdentifierQueriesFollowTheCount) {
  LMach tree;
  LanguageTable table(&tree);
  EXPECT_STREQ("K", table.LangIdToLangChar(2052));
  EXPECT_STREQ("A", table.LangIdToLangChar(1031));
  EXPECT_STREQ("B", table.LangIdToLangChar(1041));  // no slot carries it
  EXPECT_STREQ("B", table.LangIdToLangChar(0));     // slot 7 is not installed
  EXPECT_EQ(3, table.LangIdToIndex(1036));
  EXPECT_EQ(2, table.LangIdToIndex(1041));
  EXPECT_EQ(2, table.LangIdToIndex(1033));
  EXPECT_EQ(1033, table.LangCharToLangId("X"));
  SetCount(tree, 7);  // the cache is read at each call
  EXPECT_STREQ("X", table.LangIdToLangChar(0));
  EXPECT_EQ(7, table.LangIdToIndex(0));
  EXPECT_EQ(0, table.LangCharToLangId("X"));
  SetCount(tree, 0);
  EXPECT_EQ(2, table.LangIdToIndex(1036));
  EXPECT_STREQ("B", table.LangIdToLangChar(2052));
}

TEST_F(LanguageTableTest, CharactersCompareWholeAndWithCase) {
  LMach tree;
  LanguageTable table(&tree);
  EXPECT_EQ(2052, table.LangCharToLangId("K"));
  EXPECT_EQ(1033, table.LangCharToLangId("k"));
  EXPECT_EQ(1033, table.LangCharToLangId("KK"));
  EXPECT_EQ(1033, table.LangCharToLangId(""));
  EXPECT_EQ(1031, table.LangCharToLangId("A"));
}

TEST_F(LanguageTableTest, SlotQueriesIgnoreTheCount) {
  LMach tree;
  LanguageTable table(&tree);
  EXPECT_STREQ("Deutsch", table.LangString(0));
  EXPECT_STREQ("\xD6\xD0\xCE\xC4", table.LangString(5));
  EXPECT_STREQ("User Defined", table.LangString(6));
  EXPECT_EQ(1031, table.LangId(1));
  EXPECT_EQ(0, table.LangId(7));
  SetCount(tree, 0);
  EXPECT_STREQ("User Defined", table.LangString(6));
  EXPECT_EQ(0, table.LangId(7));
  // Slot n's identifier leads back to slot n: the seven identifiers differ.
  SetCount(tree, 7);
  for (int n = 1; n <= 7; ++n) EXPECT_EQ(n, table.LangIdToIndex(table.LangId(n))) << n;
}

TEST_F(LanguageTableTest, LowerSlotAnswersForDuplicates) {
  PutMachineInt(SlotPath(5), "LangId", 2052);
  PutMachineString(SlotPath(5), "FileExtension", "Z");
  PutMachineString(SlotPath(4), "FileExtension", "K");
  LMach tree;
  LanguageTable table(&tree);
  EXPECT_EQ(5, table.LangIdToIndex(2052));
  EXPECT_STREQ("Z", table.LangIdToLangChar(2052));
  EXPECT_EQ(1034, table.LangCharToLangId("K"));
}

TEST_F(LanguageTableTest, CountBeyondTheDeclaredSlotsReachesRunTimeSlots) {
  PutMachineInt(kLanguages, "NumLanguages", 9);
  PutMachineInt(SlotPath(8), "LangId", 1041);
  PutMachineString(SlotPath(8), "FileExtension", "J");
  {
    LMach tree;
    LanguageTable table(&tree);
    CDWordArray ids;
    EXPECT_EQ((std::vector<DWORD>{1031, 1033, 1036, 1034, 1040, 2052, 0, 1041, 1033}),
              Installed(table, ids));
    EXPECT_STREQ("J", table.LangIdToLangChar(1041));
    EXPECT_EQ(8, table.LangIdToIndex(1041));
    EXPECT_EQ(1041, table.LangCharToLangId("J"));
    // Slot 9 has nothing stored: its run-time values read as their defaults.
    EXPECT_STREQ("", table.LangString(8));
    EXPECT_EQ(10, tree.m_oSWT_BF_CMN.m_oLanguages.m_aChildren.GetSize());
  }
  // The run-time values are written back when the tree goes.
  std::string data;
  ASSERT_TRUE(MachineValue(SlotPath(9), "LangId", &data));
  EXPECT_EQ(std::string("\x09\x04\x00\x00", 4), data);
  ASSERT_TRUE(MachineValue(SlotPath(9), "Description", &data));
  EXPECT_EQ(std::string("", 1), data);
  ASSERT_TRUE(MachineValue(SlotPath(8), "FileExtension", &data));
  EXPECT_EQ(std::string("J", 2), data);
}

TEST_F(LanguageTableTest, SlotZeroIsARunTimeKeyWrittenAtUnload) {
  {
    LMach tree;
    LanguageTable table(&tree);
    EXPECT_EQ(1033, table.LangId(0));
    CRegDeclObject* slot = tree.m_oSWT_BF_CMN.m_oLanguages.GetChild("Language0", nullptr);
    ASSERT_NE(nullptr, slot);
    ASSERT_EQ(1, slot->IsKey());
    EXPECT_EQ(1, static_cast<CRegDeclKey*>(slot)->m_listOwned.GetSize());
  }
  std::string data;
  ASSERT_TRUE(MachineValue(SlotPath(0), "LangId", &data));
  EXPECT_EQ(std::string("\x09\x04\x00\x00", 4), data);
}

TEST(LanguageTableWithoutTreeTest, EveryAnswerIsItsFallback) {
  LanguageTable table(nullptr);
  CDWordArray ids;
  EXPECT_EQ(1, table.InstalledLanguages(ids));
  EXPECT_EQ(0, ids.GetSize());
  EXPECT_STREQ("B", table.LangIdToLangChar(1031));
  EXPECT_EQ(2, table.LangIdToIndex(1031));
  EXPECT_EQ(1033, table.LangCharToLangId("A"));
  EXPECT_STREQ("B", table.LangString(0));
  EXPECT_EQ(1033, table.LangId(1));
}

}  // namespace
