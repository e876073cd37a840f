// Typed values: caches, clamping, dirty state, the two write modes and copies.
#include <cstring>

#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

using ValueTest = IsolatedRegistryTest;

TEST_F(ValueTest, WriteBackWritesDirtyValuesOnceAtDestructionDeletedOrNot) {
  {
    CRDCLg_oApp tree;
    auto& prefs = tree.m_oBase.m_oPrefs;
    ResetCounts();
    prefs.m_oAny.WriteCache(0);  // clean: no registry call at all
    EXPECT_EQ(0, Calls());
    prefs.m_oLevel = 1;
    prefs.m_oLevel = 1;                                  // equal: filtered
    prefs.m_oTitle = "untitled";                         // equal ignoring case: filtered
    prefs.m_oTitle = static_cast<const char*>(nullptr);  // refused
    EXPECT_EQ(1, prefs.m_oLevel.m_bDirty);
    EXPECT_EQ(0, prefs.m_oTitle.m_bDirty);
    EXPECT_STREQ("Untitled", prefs.m_oTitle);
    EXPECT_EQ(0, Writes());
  }
  EXPECT_EQ(1, Writes());
  EXPECT_EQ(1, StoredInt(kPrefs, "Level"));
  EXPECT_FALSE(ValueThere(kPrefs, "Title"));
  // A dirty value deleted from the registry comes back.
  {
    CRDCLg_oApp tree;
    tree.m_oBase.m_oPrefs.m_oLevel = 2;
    EXPECT_EQ(1, tree.m_oBase.m_oPrefs.m_oLevel.Delete());
    EXPECT_FALSE(ValueThere(kPrefs, "Level"));
    EXPECT_EQ(1, tree.m_oBase.m_oPrefs.m_oLevel.m_bDirty);
  }
  EXPECT_EQ(2, StoredInt(kPrefs, "Level"));
  CRegDeclInt orphan("Orphan", 0, 0, 0);
  EXPECT_EQ(0, orphan.Delete());
  CRegDeclHive::s_aChildren.SetSize(0);
}

TEST_F(ValueTest, WriteThroughWritesInsideSetValueOnly) {
  {
    CRDCLg_oApp tree;
    tree.SetWriteCacheOnDelete(0);
    ResetCounts();
    tree.m_oBase.m_oPrefs.m_oTitle = "Report";
    EXPECT_EQ(1, Writes());
    EXPECT_EQ(0, tree.m_oBase.m_oPrefs.m_oTitle.m_bDirty);
    EXPECT_EQ(1, tree.m_oBase.m_oPrefs.m_oTitle.m_bInRegistry);
    // Clamping back to the cached value still counts as a change.
    tree.m_oBase.m_oPrefs.m_oLevel = 2;
    tree.m_oBase.m_oPrefs.m_oLevel = 9;
    EXPECT_EQ(3, Writes());
    // A run-time child is dirty after binding but written only by WriteCache.
    tree.m_oBase.GetChildInt("Fresh", 5);
  }
  EXPECT_EQ(3, Writes());
  EXPECT_FALSE(ValueThere("Software\\Test", "Fresh"));
  std::string text;
  ASSERT_TRUE(Stored(kPrefs, "Title", &text));
  EXPECT_EQ(std::string("Report\0", 7), text);
}

TEST_F(ValueTest, ClampComparesUnsignedAndEqualBoundsSwitchItOff) {
  CRDCLg_oApp tree;  // the hive the loose values below take
  CRegDeclInt wide("Wide", 1033, 0, -1);
  wide.SetValue(5);
  EXPECT_EQ(5, int(wide));
  wide.SetValue(-2);
  EXPECT_EQ(-2, int(wide));

  CRegDeclInt narrow("Narrow", 7, 0, 2);
  EXPECT_EQ(7, int(narrow));  // the default is not clamped
  narrow.SetValue(7);         // equal to the cache: nothing, not even clamping
  EXPECT_EQ(7, int(narrow));
  EXPECT_EQ(0, narrow.m_bDirty);
  narrow.SetValue(-1);  // 0xFFFFFFFF is above 2
  EXPECT_EQ(2, int(narrow));
  narrow.SetValue(1);
  narrow.SetValue(5);
  EXPECT_EQ(2, int(narrow));

  CRegDeclInt floor("Floor", 5, 3, 9);
  floor.SetValue(1);
  EXPECT_EQ(3, int(floor));

  CRegDeclInt off("Off", 0, 0, 0);
  off.SetValue(500);
  EXPECT_EQ(500, int(off));
  for (CRegDeclInt* v : {&wide, &narrow, &floor, &off}) v->m_bDirty = 0;  // no hive writes
  CRegDeclHive::s_aChildren.SetSize(0);
}

TEST_F(ValueTest, ReadsFallBackWithoutCreatingTheValue) {
  PutInt(kPrefs, "Level", 9);  // stored out of bounds: read as it is
  PutString(kPrefs, "Title", "Stored Title");
  unsigned char stored[2] = {0xAA, 0xBB};
  Put(kPrefs, "Blob", REG_BINARY, stored, 2);
  CRDCLg_oApp tree;
  EXPECT_EQ(9, int(tree.m_oBase.m_oPrefs.m_oLevel));
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.m_oLevel.m_bInRegistry);
  EXPECT_STREQ("Stored Title", tree.m_oBase.m_oPrefs.m_oTitle);
  // A shorter binary value fills the front; the rest keeps what it had (zero).
  EXPECT_EQ(0, memcmp(tree.m_oBase.m_oPrefs.m_oBlob, "\xAA\xBB\0", 3));
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.m_oBlob.m_bInRegistry);
  // Owner is missing: default (empty), not in the registry, clean, still missing.
  EXPECT_STREQ("", tree.m_oBase.m_oOwner);
  EXPECT_EQ(0, tree.m_oBase.m_oOwner.m_bInRegistry);
  EXPECT_EQ(0, tree.m_oBase.m_oOwner.m_bDirty);
  EXPECT_FALSE(ValueThere("Software\\Test", "Owner"));
}

TEST_F(ValueTest, LongerBinaryValueReadsAsZeros) {
  unsigned char stored[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  Put(kPrefs, "Blob", REG_BINARY, stored, 8);
  CRDCLg_oApp tree;
  CRegDeclBinary& blob = tree.m_oBase.m_oPrefs.m_oBlob;
  EXPECT_EQ(0, blob.m_bInRegistry);
  unsigned char out[4] = {9, 9, 9, 9};
  blob.GetValue(out);
  EXPECT_EQ(0, memcmp(out, "\0\0\0\0", 4));

  // SetSize: same size reads nothing; a new size reads anew; 0 leaves no buffer.
  ResetCounts();
  blob.SetSize(4);
  EXPECT_EQ(0, Calls());
  blob.SetSize(8);
  EXPECT_EQ(1, blob.m_bInRegistry);
  EXPECT_EQ(0, blob.m_bDirty);
  EXPECT_EQ(0, memcmp(static_cast<const unsigned char*>(blob), stored, 8));
  blob.SetSize(2);  // the stored 8 bytes do not fit: zeros, queued for write-back
  EXPECT_EQ(0, blob.m_bInRegistry);
  EXPECT_EQ(1, blob.m_bDirty);
  blob.m_bDirty = 0;
}

TEST_F(ValueTest, EmptyBinaryIgnoresEverything) {
  CRDCLg_oApp tree;
  CRegDeclBinary* empty = tree.m_oBase.GetChildBinary("None", 0);
  ASSERT_NE(nullptr, empty);
  ResetCounts();
  unsigned char data[4] = {1, 2, 3, 4};
  empty->SetValue(data);
  empty->ReadCache();
  empty->WriteCache(1);
  empty->GetValue(data);
  EXPECT_EQ(0, Calls());
  EXPECT_EQ(nullptr, static_cast<const unsigned char*>(*empty));
  EXPECT_EQ(1, data[0]);
  empty->m_bDirty = 0;
}

TEST_F(ValueTest, CopiesAreUnboundAndOwnTheirBytes) {
  CRDCLg_oApp tree;
  CRDCLg_oApp::CRDCLBase::CRDCLPrefs& prefs = tree.m_oBase.m_oPrefs;
  const unsigned char bytes[4] = {4, 3, 2, 1};
  prefs.m_oBlob = bytes;

  CRegDeclBinary* copy = new CRegDeclBinary(prefs.m_oBlob);
  EXPECT_EQ(&prefs.m_oBlob, prefs.GetChild("Blob", nullptr));

  CRegDeclBinary other("Other", 2);
  other = *copy;
  prefs.m_oBlob.SetSize(0);  // the source's bytes are gone
  EXPECT_EQ(0, memcmp(other.m_pBuffer, bytes, 4));
  EXPECT_EQ(0, memcmp(copy->m_pBuffer, bytes, 4));
  other.m_bDirty = 0;
  delete copy;  // dirty: written back under the source's name
  EXPECT_EQ(0x01020304, StoredInt(kPrefs, "Blob"));
  CRegDeclHive::s_aChildren.SetSize(0);
}

}  // namespace
