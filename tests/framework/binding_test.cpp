// Binding: how a declared tree wires itself together while it is constructed.
#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

class BindingTest : public IsolatedRegistryTest {};

// The tree the members build: a value after a closed key binds to the key's parent, and
// a key without children (Empty) leaves the value after it (Owner) to its parent too.
TEST_F(BindingTest, DeclaredTreesBindUnderTheirParentsInDeclarationOrder) {
  CRDCLg_oDisplay tree;
  EXPECT_EQ(HKEY_CURRENT_USER, tree.m_hRootKey);
  // Parents, in bind order, and the paths that follow from them.
  ASSERT_EQ(3, tree.m_aChildren.GetSize());
  EXPECT_EQ(&tree.m_oDisplay, tree.m_aChildren[0]);
  EXPECT_EQ(&tree.m_oPaths, tree.m_aChildren[1]);
  EXPECT_EQ(&tree.m_oMode, tree.m_aChildren[2]);
  EXPECT_EQ(&tree.m_oDisplay, tree.m_oDisplay.m_oHeight.m_pParent);
  EXPECT_STREQ("Display", tree.m_oDisplay.m_oWidth.m_strFullPath);
  EXPECT_STREQ("Paths\\Recent", tree.m_oPaths.m_oRecent.m_oCount.m_strFullPath);
  // The closing refresh left nothing dirty.
  EXPECT_EQ(0, tree.m_oDisplay.m_oWidth.m_bDirty);
  EXPECT_EQ(640, int(tree.m_oDisplay.m_oWidth));
  EXPECT_EQ(0, Writes());

  // A second tree binds as the first did, though a run-time child of the first was made
  // while the first was the one binding.
  tree.m_oDisplay.GetChildInt("Depth", 24);
  CRDCLg_oApp app;
  EXPECT_EQ(&app.m_oBase, app.m_oBase.m_oOwner.m_pParent);
  EXPECT_EQ(4, app.m_oBase.m_oPrefs.m_aChildren.GetSize());
  EXPECT_EQ(0, app.m_oBase.m_oEmpty.m_aChildren.GetSize());
}

}  // namespace
