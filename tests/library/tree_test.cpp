// The two common-settings trees: loading, assignment and clamping, write-back, and the
// machine table's fallback. Their layout, defaults and bounds are the declaration's own,
// and the tool's listing shows them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "RuzIde.h"
#ifndef _WIN32
#include "platform/registry/RegistryStore.h"
#endif
#include "tests/library/LibraryStoreTest.h"

namespace {

using CUser = CRDCLg_oRegCmnCUser;
using LMach = CRDCLg_oRegCmnLMach;

using TreeTest = LibraryStoreTest;

TEST_F(TreeTest, CurrentUserLoadsUnclampedAndClampsAssignments) {
  PutInt(kRegional.c_str(), "Date", 7);
  {
    CUser tree;
    auto& date = tree.m_oSWT_BF_CMN.m_oRegional.m_oDate;
    EXPECT_EQ(7, static_cast<int>(date));
    EXPECT_EQ(1, date.m_bInRegistry);
    ResetCounts();
    date = 7;  // equal to the cache, compared before clamping: nothing happens
    EXPECT_EQ(0, date.m_bDirty);
    date = 5;
    EXPECT_EQ(2, static_cast<int>(date));
    date = 0;
    date = -1;  // 0xFFFFFFFF, compared unsigned
    EXPECT_EQ(2, static_cast<int>(date));
    tree.m_oSWT_BF_CMN.m_oLanguages.m_oCurrentLangId = -1;  // bounds 0..0xFFFFFFFF
    EXPECT_EQ(-1, static_cast<int>(tree.m_oSWT_BF_CMN.m_oLanguages.m_oCurrentLangId));
    auto& time = tree.m_oSWT_BF_CMN.m_oRegional.m_oTime;
    const CUser::CRDCLSWT_BF_CMN::CRDCLRegional::CRDCLTime clean(time);  // bound nowhere
    time = 1;
    time = clean;  // member-wise: the clean 0 again, so nothing to write
    EXPECT_EQ(0, time.m_nValue + time.m_bDirty);
    EXPECT_EQ(clean.m_pParent, time.m_pParent);
    EXPECT_EQ(&time, tree.m_oSWT_BF_CMN.m_oRegional.GetChild("Time", nullptr));
    EXPECT_EQ(0, Writes());  // write-back: nothing until the tree goes
  }
  EXPECT_EQ(2, StoredInt(kRegional.c_str(), "Date"));
  EXPECT_EQ(-1, StoredInt((kBase + "\\Languages").c_str(), "CurrentLangId"));
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Time"));
}

// Checks a declared slot class against its defaults, by member name.
template <class Slot>
void ExpectSlot(Slot& slot, const std::string& description, const char* character, int id) {
  EXPECT_EQ(description, static_cast<const char*>(slot.m_oDescription)) << slot.m_strName;
  EXPECT_STREQ(character, slot.m_oFileExtension);
  EXPECT_EQ(id, static_cast<int>(slot.m_oLangId));
  EXPECT_EQ(-1, slot.m_oLangId.m_nMax);
}

void ExpectDefaultTable(LMach& tree) {
  auto& l = tree.m_oSWT_BF_CMN.m_oLanguages;
  EXPECT_EQ(6, static_cast<int>(l.m_oNumLanguages));
  ExpectSlot(l.m_oLanguage1, "Deutsch", "A", 1031);
  ExpectSlot(l.m_oLanguage2, "English", "B", 1033);
  ExpectSlot(l.m_oLanguage3, "\x46\x72\x61\x6E\xE7\x61\x69\x73", "C", 1036);  // Latin-1
  ExpectSlot(l.m_oLanguage4, "\x45\x73\x70\x61\xF1\x6F\x6C", "D", 1034);      // Latin-1
  ExpectSlot(l.m_oLanguage5, "Italiano", "E", 1040);
  ExpectSlot(l.m_oLanguage6, "\xD6\xD0\xCE\xC4", "K", 2052);  // code page 936
  ExpectSlot(l.m_oLanguage7, "User Defined", "X", 0);
}

TEST_F(TreeTest, LocalMachineDefaultsUnlessTheStoreIsReadable) {
  {
    LMach tree;
    ExpectDefaultTable(tree);
  }
  PutMachine(kLanguages, "NumLanguages", 9);
  PutMachine(kLanguages + "\\Language7", "Description", "Nederlands");
  {
    LMach tree;
    auto& l = tree.m_oSWT_BF_CMN.m_oLanguages;
    EXPECT_EQ(9, static_cast<int>(l.m_oNumLanguages));
    EXPECT_STREQ("Nederlands", l.m_oLanguage7.m_oDescription);
    EXPECT_EQ(8, l.m_aChildren.GetSize());  // the count creates no slot at load
  }
#ifndef _WIN32
  // Reads open their key for writing too. A process that may not write the machine root
  // still sees the machine's table, through its virtual copy; without virtualization it
  // is refused, and sees the default table.
  setenv("RUZIDE_REGISTRY_READONLY", "HKEY_LOCAL_MACHINE", 1);
  ruzide::registry::CloseAllStores();
  {
    LMach tree;
    EXPECT_EQ(9, static_cast<int>(tree.m_oSWT_BF_CMN.m_oLanguages.m_oNumLanguages));
  }
  setenv("RUZIDE_VIRTUALIZATION", "0", 1);
  ruzide::registry::CloseAllStores();
  {
    LMach tree;
    ExpectDefaultTable(tree);
  }
  unsetenv("RUZIDE_VIRTUALIZATION");
#endif
}

}  // namespace
