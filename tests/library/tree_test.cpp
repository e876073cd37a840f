// The two common-settings trees as the generated classes build them: a leaf's own copy
// and assignment, and the machine table loaded from the store. Clamping, write-back and
// reads through the virtual copy are the framework's, the store's and the tool's tests'
// part; the layout, defaults and bounds are the declaration's own, and the tool's listing
// shows them.
#include <gtest/gtest.h>

#include <string>

#include "RuzIde.h"
#include "tests/library/LibraryStoreTest.h"

namespace {

using CUser = CRDCLg_oRegCmnCUser;
using LMach = CRDCLg_oRegCmnLMach;

using TreeTest = LibraryStoreTest;

TEST_F(TreeTest, ALeafCopiesMemberWiseAndKeepsItsPlace) {
  CUser tree;
  auto& time = tree.m_oSWT_BF_CMN.m_oRegional.m_oTime;
  const CUser::CRDCLSWT_BF_CMN::CRDCLRegional::CRDCLTime clean(time);  // bound nowhere
  time = 1;
  time = clean;  // member-wise: the clean 0 again, so nothing to write
  EXPECT_EQ(0, time.m_nValue + time.m_bDirty);
  EXPECT_EQ(clean.m_pParent, time.m_pParent);
  EXPECT_EQ(&time, tree.m_oSWT_BF_CMN.m_oRegional.GetChild("Time", nullptr));
}

TEST_F(TreeTest, TheMachineTableLoadsFromTheStoreWithoutMakingSlots) {
  PutMachine(kLanguages, "NumLanguages", 9);
  PutMachine(kLanguages + "\\Language7", "Description", "Nederlands");
  LMach tree;
  auto& l = tree.m_oSWT_BF_CMN.m_oLanguages;
  EXPECT_EQ(9, static_cast<int>(l.m_oNumLanguages));
  EXPECT_STREQ("Nederlands", l.m_oLanguage7.m_oDescription);
  EXPECT_EQ(8, l.m_aChildren.GetSize());  // the count creates no slot at load
}

}  // namespace
