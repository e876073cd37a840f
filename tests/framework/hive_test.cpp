// The hive's primitives against the real store.
#include <cstring>
#include <string>

#include "tests/framework/IsolatedRegistryTest.h"

namespace {

class HiveTest : public IsolatedRegistryTest {
 protected:
  HiveTest() { hive.m_hRootKey = HKEY_CURRENT_USER; }
  CRegDeclHive hive;
};

TEST_F(HiveTest, StringAndIntReadsCreateTheKeyPath) {
  CString text("unchanged");
  EXPECT_EQ(0, hive.ReadString("A\\B", "Missing", text, "fallback"));
  EXPECT_STREQ("fallback", text);
  EXPECT_TRUE(KeyThere("A\\B"));
  EXPECT_EQ(0, hive.ReadString("A\\B", "Missing", text, nullptr));
  EXPECT_STREQ("", text);

  int n = 3;
  EXPECT_EQ(0, hive.ReadInt("C\\D", "Missing", n, 42));
  EXPECT_EQ(42, n);
  EXPECT_TRUE(KeyThere("C\\D"));
  EXPECT_EQ(nullptr, hive.m_hOpenKey);

#ifndef _WIN32
  // A path longer than the hive builds in place (256 bytes) goes the same way. (Windows'
  // registry takes no key path over 255 characters.)
  const std::string deep =
      std::string(90, 'k') + "\\" + std::string(90, 'l') + "\\" + std::string(90, 'm');
  EXPECT_EQ(1, hive.WriteInt(deep.c_str(), "Deep", 7));
  EXPECT_EQ(1, hive.ReadInt(deep.c_str(), "Deep", n, 0));
  EXPECT_EQ(7, n);
  EXPECT_EQ(7, StoredInt(deep.c_str(), "Deep"));
#endif
}

// Binary reads, counts and the existence test open the key and never create it; the last
// uses a handle of its own, leaving the hive's open key as it was.
TEST_F(HiveTest, BinaryReadsCountsAndExistenceOpenOnly) {
  unsigned char buf[4] = {7, 7, 7, 7};
  EXPECT_EQ(0, hive.ReadBinary("E\\F", "Blob", buf, 4));
  EXPECT_EQ(0, memcmp(buf, "\0\0\0\0", 4));
  EXPECT_EQ(0, hive.GetSubKeyCount("E\\F"));
  EXPECT_EQ(0, hive.GetValueCount("E"));
  EXPECT_FALSE(KeyThere("E"));
  EXPECT_EQ(0, hive.ReadBinary(nullptr, "Blob", buf, 4));
  ResetCounts();
  EXPECT_EQ(0, hive.GetSubKeyCount(nullptr));
  EXPECT_EQ(0, hive.GetValueCount(nullptr));
  EXPECT_EQ(0, Calls());

  MakeKey("E\\F\\G");
  PutInt("E\\F", "One", 1);
  PutInt("E\\F", "Two", 2);
  EXPECT_EQ(1, hive.GetSubKeyCount("E\\F"));
  EXPECT_EQ(2, hive.GetValueCount("E\\F\\"));  // a trailing backslash names the same key

  ASSERT_EQ(1, hive.OpenKey(hive.m_hRootKey, "E"));
  HKEY open = hive.m_hOpenKey;
  EXPECT_EQ(1, hive.KeyExists("E\\F\\G"));
  EXPECT_EQ(1, hive.KeyExists("E\\F\\"));
  EXPECT_EQ(0, hive.KeyExists("E\\M"));
  EXPECT_EQ(open, hive.m_hOpenKey);
  hive.Close();
  EXPECT_FALSE(KeyThere("E\\M"));
}

// Text up to 4096 bytes with its zero, ints of four bytes and binaries that fit.
TEST_F(HiveTest, ReadsTakeOnlyValuesThatFit) {
  std::string fits(4095, 'x');
  PutString("T", "Fits", fits.c_str());
  std::string over(4096, 'y');
  PutString("T", "Over", over.c_str());
  CString text;
  EXPECT_EQ(1, hive.ReadString("T", "Fits", text, "def"));
  EXPECT_EQ(4095, text.GetLength());
  EXPECT_EQ(0, hive.ReadString("T", "Over", text, "def"));
  EXPECT_STREQ("def", text);

  // An empty text is stored as its zero alone.
  EXPECT_EQ(1, hive.WriteString("T", "Empty", ""));
  std::string stored;
  ASSERT_TRUE(Stored("T", "Empty", &stored));
  EXPECT_EQ(std::string(1, '\0'), stored);

  // Ints read any four-byte value, whatever its type.
  long long wide = 5;
  Put("I", "Wide", REG_QWORD, &wide, 8);
  unsigned char four[4] = {0x78, 0x56, 0x34, 0x12};
  Put("I", "Four", REG_BINARY, four, 4);
  int n = 0;
  EXPECT_EQ(0, hive.ReadInt("I", "Wide", n, -1));
  EXPECT_EQ(-1, n);
  EXPECT_EQ(1, hive.ReadInt("I", "Four", n, -1));
  EXPECT_EQ(0x12345678, n);

  // A binary longer than the buffer fails; a shorter one filling the front of the buffer
  // is the value tests' part.
  const unsigned char three[3] = {1, 2, 3};
  EXPECT_EQ(1, hive.WriteBinary("B", "Three", three, 3));
  unsigned char buf[3] = {9, 9, 3};
  EXPECT_EQ(0, hive.ReadBinary("B", "Three", buf, 2));
  EXPECT_EQ(0, memcmp(buf, "\0\0\x03", 3));  // only `size` bytes are zeroed

  // The open-key read without a buffer allocates one of the value's size.
  ASSERT_EQ(1, hive.OpenKey(hive.m_hRootKey, "B"));
  unsigned char* fresh = nullptr;
  EXPECT_EQ(1, hive.Read("Three", fresh, 0));
  ASSERT_NE(nullptr, fresh);
  EXPECT_EQ(0, memcmp(fresh, three, 3));
  delete[] fresh;
  hive.Close();
  hive.Close();  // harmless twice
}

}  // namespace
