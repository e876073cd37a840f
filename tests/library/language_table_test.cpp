// The answers of the six language functions (LanguageTable) on local-machine trees of
// the tests' own: the default table, changed tables, fallbacks, and the run-time slots
// that questions beyond the declared ones leave behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LanguageTable.h"
#include "tests/library/LibraryStoreTest.h"

namespace {

using ruzide::api::LanguageTable;
using LMach = CRDCLg_oRegCmnLMach;

const std::string kLangId1033("\x09\x04\x00\x00", 4);  // REG_DWORD 1033

std::string Slot(int n) { return kLanguages + "\\Language" + std::to_string(n); }

class LanguageTableTest : public LibraryStoreTest {
 protected:
  static std::vector<DWORD> Installed(LanguageTable& table, CDWordArray& ids) {
    EXPECT_EQ(1, table.InstalledLanguages(ids));
    std::vector<DWORD> out;
    for (INT_PTR i = 0; i < ids.GetSize(); ++i) out.push_back(ids.GetAt(i));
    return out;
  }
  static void SetCount(LMach& tree, int n) { tree.m_oSWT_BF_CMN.m_oLanguages.m_oNumLanguages = n; }
};

TEST_F(LanguageTableTest, DefaultTableAndTheCountInForceAtEachCall) {
  LMach tree;
  LanguageTable table(&tree);
  CDWordArray ids;
  const std::vector<DWORD> six = {1031, 1033, 1036, 1034, 1040, 2052};
  EXPECT_EQ(six, Installed(table, ids));
  std::vector<DWORD> twice = six;
  twice.insert(twice.end(), six.begin(), six.end());
  EXPECT_EQ(twice, Installed(table, ids));  // appended to what the array held

  EXPECT_STREQ("K", table.LangIdToLangChar(2052));
  EXPECT_STREQ("A", table.LangIdToLangChar(1031));
  EXPECT_STREQ("B", table.LangIdToLangChar(1041));  // no slot carries it
  EXPECT_STREQ("B", table.LangIdToLangChar(0));     // slot 7 is not installed
  EXPECT_EQ(3, table.LangIdToIndex(1036));
  EXPECT_EQ(2, table.LangIdToIndex(1041));
  EXPECT_EQ(1033, table.LangCharToLangId("X"));
  EXPECT_STREQ("Deutsch", table.LangString(0));
  EXPECT_STREQ("\xD6\xD0\xCE\xC4", table.LangString(5));
  EXPECT_EQ(1031, table.LangId(1));

  SetCount(tree, 7);
  EXPECT_STREQ("X", table.LangIdToLangChar(0));
  EXPECT_EQ(0, table.LangCharToLangId("X"));
  for (int n = 1; n <= 7; ++n) EXPECT_EQ(n, table.LangIdToIndex(table.LangId(n))) << n;

  SetCount(tree, 0);
  EXPECT_EQ(twice, Installed(table, ids));
  EXPECT_EQ(2, table.LangIdToIndex(1036));
  EXPECT_EQ(1033, table.LangCharToLangId("K"));
  EXPECT_STREQ("User Defined", table.LangString(6));  // slots by number ignore the count
  EXPECT_EQ(0, table.LangId(7));
}

TEST_F(LanguageTableTest, CharactersCompareWholeWithCaseAndLowerSlotsWin) {
  PutMachine(Slot(5), "LangId", 2052);
  PutMachine(Slot(5), "FileExtension", "Z");
  PutMachine(Slot(4), "FileExtension", "K");
  LMach tree;
  LanguageTable table(&tree);
  EXPECT_EQ(1034, table.LangCharToLangId("K"));  // slot 4 before slot 6
  EXPECT_EQ(1033, table.LangCharToLangId("k"));
  EXPECT_EQ(1033, table.LangCharToLangId("KK"));
  EXPECT_EQ(1033, table.LangCharToLangId(""));
  EXPECT_EQ(5, table.LangIdToIndex(2052));  // slot 5 before slot 6
  EXPECT_STREQ("Z", table.LangIdToLangChar(2052));
}

TEST_F(LanguageTableTest, SlotsBeyondTheDeclaredOnesAreWrittenBackAtUnload) {
  PutMachine(kLanguages, "NumLanguages", 9);
  PutMachine(Slot(8), "LangId", 1041);
  PutMachine(Slot(8), "FileExtension", "J");
  {
    LMach tree;
    LanguageTable table(&tree);
    CDWordArray ids;
    EXPECT_EQ((std::vector<DWORD>{1031, 1033, 1036, 1034, 1040, 2052, 0, 1041, 1033}),
              Installed(table, ids));
    EXPECT_STREQ("J", table.LangIdToLangChar(1041));
    EXPECT_EQ(8, table.LangIdToIndex(1041));
    EXPECT_EQ(1041, table.LangCharToLangId("J"));
    EXPECT_STREQ("", table.LangString(8));  // nothing stored under Language9
    EXPECT_EQ(1033, table.LangId(0));       // no Language0 either
  }
  EXPECT_EQ(kLangId1033, MachineValue(Slot(9), "LangId"));
  EXPECT_EQ(std::string("", 1), MachineValue(Slot(9), "Description"));
  EXPECT_EQ(kLangId1033, MachineValue(Slot(0), "LangId"));
  EXPECT_EQ(std::string("J", 2), MachineValue(Slot(8), "FileExtension"));
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
