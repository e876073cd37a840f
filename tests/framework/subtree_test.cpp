// Subtree operations: cache refresh, write-back, mirroring and deletion.
#include <cstring>
#include <string>

#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

using SubtreeTest = IsolatedRegistryTest;

TEST_F(SubtreeTest, ReadCacheOnAMissingKeyCreatesOnlyWhatStringAndIntReadsOpen) {
  CRDCLg_oApp tree;
  EXPECT_EQ(0, tree.m_oBase.m_oEmpty.m_bInRegistry);  // tested, not created
  EXPECT_FALSE(KeyThere("Software\\Test\\Empty"));
  EXPECT_TRUE(KeyThere("Software\\Test\\Prefs"));  // created by the reads below it
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.m_bInRegistry);
  EXPECT_EQ(0, int(tree.m_oBase.m_oPrefs.m_oLevel));
  EXPECT_EQ(0, tree.m_oBase.m_oPrefs.m_oLevel.m_bInRegistry);
  EXPECT_EQ(0, tree.GetValueCount("Software\\Test"));

  // A refresh picks up what changed in the registry and leaves values clean.
  PutInt(kPrefs, "Level", 1);
  tree.m_oBase.m_oPrefs.m_oAny = 5;
  tree.ReadCache();
  EXPECT_EQ(1, int(tree.m_oBase.m_oPrefs.m_oLevel));
  EXPECT_EQ(1033, int(tree.m_oBase.m_oPrefs.m_oAny));
  EXPECT_EQ(0, tree.m_oBase.m_oPrefs.m_oAny.m_bDirty);
}

TEST_F(SubtreeTest, WriteCacheCreatesEveryKeyAndWritesDirtyOrAll) {
  CRDCLg_oApp tree;
  ResetCounts();
  tree.WriteCache(0);
  // The empty path names the root key itself, which gets its marker as every key does.
  for (const char* key : {"", "Software\\Test", "Software\\Test\\Prefs", "Software\\Test\\Empty"}) {
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Stored(key, "", &data, &type)) << key;
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string(4, '\0'), data);
  }
  EXPECT_EQ(4, Writes());  // the four unnamed values
  EXPECT_FALSE(ValueThere(kPrefs, "Level"));

  tree.m_oBase.m_oPrefs.m_oLevel = 2;
  ResetCounts();
  tree.WriteCache(0);
  EXPECT_EQ(5, Writes());
  EXPECT_EQ(2, StoredInt(kPrefs, "Level"));

  tree.WriteCache(1);
  EXPECT_EQ(1033, StoredInt(kPrefs, "Any"));
  EXPECT_TRUE(ValueThere(kPrefs, "Title"));
  EXPECT_TRUE(ValueThere(kPrefs, "Blob"));
  EXPECT_TRUE(ValueThere("Software\\Test", "Owner"));
}

TEST_F(SubtreeTest, MirrorAddsWhatTheRegistryHoldsBeyondTheDeclaration) {
  PutString(kBase, "Note", "hello");
  PutInt(kBase, "Count", 12);
  unsigned char bytes[3] = {1, 2, 3};
  Put(kBase, "Raw", REG_BINARY, bytes, 3);
  PutString("Software\\Test\\Extra", "Inner", "deep");
  PutString(kBase, "Multi", "a\0b\0", REG_MULTI_SZ);
  PutString(kBase, "", "unnamed");
  PutInt("Software\\Test\\Prefs", "Unknown", 1);  // below an existing child key

  CRDCLg_oApp tree;
  CRegDeclKey& base = tree.m_oBase;
  const INT_PTR declared = base.m_aChildren.GetSize();
  base.MirrorRegistry();
  ASSERT_EQ(declared + 4, base.m_aChildren.GetSize());
  CRegDeclObject* note = base.m_aChildren[declared];
  CRegDeclObject* count = base.m_aChildren[declared + 1];
  CRegDeclObject* raw = base.m_aChildren[declared + 2];
  CRegDeclObject* extra = base.m_aChildren[declared + 3];
  ASSERT_TRUE(note->IsString());
  EXPECT_STREQ("hello", *static_cast<CRegDeclString*>(note));
  ASSERT_TRUE(count->IsInt());
  EXPECT_EQ(12, int(*static_cast<CRegDeclInt*>(count)));
  ASSERT_TRUE(raw->IsBinary());
  EXPECT_EQ(0, static_cast<CRegDeclBinary*>(raw)->m_nBufferSize);
  ASSERT_TRUE(extra->IsKey());
  CRegDeclKey* extra_key = static_cast<CRegDeclKey*>(extra);
  ASSERT_EQ(1, extra_key->m_aChildren.GetSize());
  EXPECT_STREQ("deep", *static_cast<CRegDeclString*>(extra_key->m_aChildren[0]));
  for (CRegDeclObject* v : {note, count, raw, extra_key->m_aChildren[0]})
    EXPECT_EQ(0, static_cast<CRegDeclValue*>(v)->m_bDirty);
  EXPECT_EQ(nullptr, tree.m_oBase.m_oPrefs.GetChild("Unknown", nullptr));  // not descended into

  // A mirrored binary gets its bytes once it is given a size.
  static_cast<CRegDeclBinary*>(raw)->SetSize(3);
  EXPECT_EQ(0, memcmp(static_cast<CRegDeclBinary*>(raw)->m_pBuffer, bytes, 3));

  base.MirrorRegistry();
  EXPECT_EQ(declared + 4, base.m_aChildren.GetSize());
  ResetCounts();
}

TEST_F(SubtreeTest, DeleteRemovesKnownDataChildrenFirstAndKeepsTheNodes) {
  CRDCLg_oApp tree;
  tree.WriteCache(1);
  tree.m_oBase.m_oPrefs.m_oLevel = 1;  // dirty, then made clean by the deletion
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.Delete());
  EXPECT_FALSE(KeyThere(kPrefs));
  EXPECT_EQ(0, tree.m_oBase.m_oPrefs.m_oLevel.m_bDirty);
  EXPECT_EQ(1, int(tree.m_oBase.m_oPrefs.m_oLevel));  // the cache stays
  EXPECT_EQ(&tree.m_oBase.m_oPrefs, tree.m_oBase.GetChild("Prefs", nullptr));

  // Deleting a value whose key is missing creates nothing.
  EXPECT_EQ(0, tree.m_oBase.m_oPrefs.m_oTitle.Delete());
  EXPECT_FALSE(KeyThere(kPrefs));

  // A key holding a subkey the tree does not know survives; its known values go.
  MakeKey("Software\\Test\\Prefs\\Unknown");
  tree.WriteCache(1);
  EXPECT_EQ(0, tree.m_oBase.m_oPrefs.Delete());
  EXPECT_TRUE(KeyThere(kPrefs));
  EXPECT_FALSE(ValueThere(kPrefs, "Title"));

  // A top-level key's parent is the root, which an empty path does not open.
  EXPECT_EQ(0, tree.m_oBase.Delete());
  EXPECT_EQ(0, tree.Delete());  // a hive has no parent
  EXPECT_EQ(0, tree.m_oBase.DeleteRegKey(nullptr));
  EXPECT_EQ(0, tree.m_oBase.DeleteRegValue(nullptr));
}

}  // namespace
