// Binding: how a declared tree wires itself together while it is constructed.
#include <memory>

#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

class BindingTest : public IsolatedRegistryTest {};

// The members' bind sequence ("B" a bind, "R" a removal from the parent stack) and the
// tree it builds. A key without children is pushed and removed at once, so that the value
// after it binds to its parent.
TEST_F(BindingTest, DeclaredTreesBindUnderTheirParentsInDeclarationOrder) {
  RecordingSink sink;
  ruzide::decl::EmitMembers<CRDCLg_oDisplay>(sink);
  EXPECT_EQ("BBBRBBBRRB", sink.text);
  sink.text.clear();
  ruzide::decl::EmitMembers<CRDCLg_oApp>(sink);
  EXPECT_EQ("BBBBBBRBRBR", sink.text);  // Base (Prefs (4 values), Empty, Owner)

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
