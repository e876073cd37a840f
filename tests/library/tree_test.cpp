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
    ResetCounts();
    date = 5;
    EXPECT_EQ(2, static_cast<int>(date));
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
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Time"));
}

// The default table, not the machine's: its count, and slot 7 as declared.
void ExpectDefaultTable(LMach& tree) {
  auto& l = tree.m_oSWT_BF_CMN.m_oLanguages;
  EXPECT_EQ(6, static_cast<int>(l.m_oNumLanguages));
  EXPECT_STREQ("User Defined", l.m_oLanguage7.m_oDescription);
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
