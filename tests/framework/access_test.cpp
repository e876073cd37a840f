// Key-relative value access by name (through children) and by path (through the hive).
#include <cstring>
#include <string>

#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/framework/TestTrees.h"

namespace {

using AccessTest = IsolatedRegistryTest;

TEST_F(AccessTest, ChildReadsCreateOnceThenAnswerFromTheCache) {
  PutInt(kBase, "Stored", 9);
  CRDCLg_oApp tree;
  CRegDeclKey& base = tree.m_oBase;
  EXPECT_EQ(5, base.ReadIntValue("Fresh", 5));
  EXPECT_EQ(9, base.ReadIntValue("Stored", 5));
  ResetCounts();
  PutInt(kBase, "Stored", 10);
  EXPECT_EQ(9, base.ReadIntValue("Stored", 5));  // the cache, not the registry
  EXPECT_EQ(0, Calls());

  EXPECT_EQ(0, base.ReadIntValue("Owner", 5));  // a string child: 0, not the default
  EXPECT_EQ(0, base.ReadIntValue(nullptr, 5));
  CString out("kept");
  EXPECT_EQ(0, base.ReadStringValue("Stored", out, "d"));
  EXPECT_STREQ("kept", out);
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.ReadStringValue("Title", out, "d"));
  EXPECT_STREQ("Untitled", out);
  EXPECT_EQ(1, base.ReadStringFormName("Slot%d", 3, out, "three"));
  EXPECT_STREQ("three", out);
  EXPECT_EQ(7, base.ReadIntValueFormName("N%d", 1, 7));
  EXPECT_EQ(0, base.ReadIntValueFormName(nullptr, 1, 7));
}

TEST_F(AccessTest, CharacterBuffersGetAtMostSizeCharactersAndAZero) {
  CRDCLg_oApp tree;
  auto& prefs = tree.m_oBase.m_oPrefs;
  prefs.m_oTitle = "Sixsix";
  char buf[8];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(1, prefs.ReadStringValue("Title", buf, 3, "d"));
  EXPECT_EQ(0, memcmp(buf, "Six\0#", 5));
  EXPECT_EQ(1, prefs.ReadStringValue("Title", buf, 7, "d"));
  EXPECT_STREQ("Sixsix", buf);
  EXPECT_EQ(1, prefs.ReadStringValue("Nothing", buf, 7, ""));
  EXPECT_STREQ("", buf);
  EXPECT_EQ(1, prefs.ReadStringValue(nullptr, "Title", buf, 2, "d"));  // path-based
  EXPECT_STREQ("Si", buf);
  prefs.m_oTitle.m_bDirty = 0;
  prefs.GetChildString("Nothing", "")->m_bDirty = 0;
}

TEST_F(AccessTest, ChildWritesGoThroughSetValue) {
  CRDCLg_oApp tree;
  CRegDeclKey& base = tree.m_oBase;
  base.WriteIntValue("Made", 7);  // created with 7 as its default, then set to 7
  CRegDeclInt* made = base.GetChildInt("Made", 0);
  EXPECT_EQ(7, int(*made));
  EXPECT_EQ(1, made->m_bDirty);
  base.WriteStringValue("Text", "abcdef", 3);
  EXPECT_STREQ("abc", *base.GetChildString("Text", ""));
  base.WriteStringValue("Text2", "ab", 10);
  EXPECT_STREQ("ab", *base.GetChildString("Text2", ""));
  base.WriteStringValue("Null", nullptr, 3);
  EXPECT_EQ(nullptr, base.GetChild("Null", nullptr));
  base.WriteStringValueFormName("S%d", 1, CString("one"));
  EXPECT_STREQ("one", *base.GetChildString("S1", ""));
  base.WriteIntValueFormName("N%d", 2, -3);
  EXPECT_EQ(-3, int(*base.GetChildInt("N2", 0)));

  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const unsigned char four[4] = {9, 9, 9, 9};
  CRegDeclBinary* blob = &tree.m_oBase.m_oPrefs.m_oBlob;
  tree.m_oBase.m_oPrefs.WriteBinaryValue("Blob", eight, 8);  // other size: left alone
  EXPECT_EQ(0, blob->m_pBuffer[0]);
  tree.m_oBase.m_oPrefs.WriteBinaryValue("Blob", four, 4);
  EXPECT_EQ(9, blob->m_pBuffer[0]);
  blob->WriteCache(0);

  // Reading at another size resizes the child and re-reads it.
  Put(kPrefs, "Blob", REG_BINARY, eight, 8);
  unsigned char out[8] = {0};
  EXPECT_EQ(1, tree.m_oBase.m_oPrefs.ReadBinaryValue("Blob", out, 8));
  EXPECT_EQ(8, blob->m_nBufferSize);
  EXPECT_EQ(0, memcmp(out, eight, 8));
  EXPECT_EQ(0, tree.m_oBase.m_oPrefs.ReadBinaryValue("Title", out, 8));
}

TEST_F(AccessTest, PathReadsUseTheChildOnlyForTheKeysOwnPath) {
  CRDCLg_oApp tree;
  auto& prefs = tree.m_oBase.m_oPrefs;
  PutString(kPrefs, "Title", "in the registry");
  ResetCounts();
  CString out;
  EXPECT_EQ(1, prefs.ReadStringValue(nullptr, "Title", out, "d"));
  EXPECT_STREQ("Untitled", out);  // the cache
  EXPECT_EQ(1, prefs.ReadStringValue(kPrefs, "Title", out, "d"));
  EXPECT_STREQ("Untitled", out);  // the same path, spelled out
  EXPECT_EQ(0, Calls());
  EXPECT_EQ(1, prefs.ReadStringValue("Software\\Test\\prefs", "Title", out, "d"));
  EXPECT_STREQ("in the registry", out);                   // another spelling: the registry
  EXPECT_EQ(0, prefs.ReadIntValue(nullptr, "Level", 2));  // the cache again

  // Counts ask the registry, not the declaration.
  EXPECT_EQ(0, tree.m_oBase.m_oEmpty.GetSubKeyCount());
  EXPECT_EQ(1, tree.m_oBase.GetSubKeyCount());  // Prefs, created by its reads; Empty is not
}

TEST_F(AccessTest, PathWritesBypassTheChildsCache) {
  CRDCLg_oApp tree;
  auto& prefs = tree.m_oBase.m_oPrefs;
  prefs.WriteIntValue(static_cast<const char*>(nullptr), "Level", 1);
  EXPECT_EQ(1, StoredInt(kPrefs, "Level"));
  EXPECT_EQ(0, int(tree.m_oBase.m_oPrefs.m_oLevel));
  prefs.WriteStringValue("Other\\Key", "Name", "abcdef", 2);
  std::string data;
  ASSERT_TRUE(Stored("Other\\Key", "Name", &data));
  EXPECT_EQ(std::string("ab\0", 3), data);
  prefs.WriteStringValue(nullptr, "Name", CString("full"));
  ASSERT_TRUE(Stored(kPrefs, "Name", &data));
  EXPECT_EQ(std::string("full\0", 5), data);

  const unsigned char bytes[5] = {5, 4, 3, 2, 1};
  EXPECT_EQ(1, prefs.WriteBinaryValue("Bin", "Five", bytes, 5));
  unsigned char out[5] = {0};
  EXPECT_EQ(1, prefs.ReadBinaryValue("Bin", "Five", out, 5));
  EXPECT_EQ(0, memcmp(out, bytes, 5));
}

}  // namespace
