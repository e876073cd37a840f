// The string and collection stand-ins and the multibyte compare functions.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "platform/Collections.h"
#include "platform/MbString.h"

namespace {

int Icmp(const char* a, const char* b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                  reinterpret_cast<const unsigned char*>(b));
}
int Cmp(const char* a, const char* b) {
  return _mbscmp(reinterpret_cast<const unsigned char*>(a),
                 reinterpret_cast<const unsigned char*>(b));
}

// Restores the code page a test changed.
class CodePage {
 public:
  explicit CodePage(int cp) : saved_(_getmbcp()) { EXPECT_EQ(0, _setmbcp(cp)); }
  ~CodePage() { _setmbcp(saved_); }

 private:
  int saved_;
};

TEST(MbStringTest, ExactCompareIsWholeStringAndByteForByte) {
  EXPECT_EQ(0, Cmp("K", "K"));
  EXPECT_NE(0, Cmp("K", "k"));
  EXPECT_LT(Cmp("K", "KX"), 0);    // equal only when both end together
  EXPECT_GT(Cmp("\xE7", "a"), 0);  // bytes compare unsigned
}

TEST(MbStringTest, CaseInsensitiveCompareFoldsLettersOnly) {
  EXPECT_EQ(0, Icmp("Title", "tITLE"));
  EXPECT_NE(0, Icmp("Title", "Titles"));
  EXPECT_NE(0, Icmp("[", "{"));  // not letters: never folded onto each other
  // In the "C" locale the runtime folds ASCII letters alone, also in code page 1252.
  CodePage latin(1252);
  EXPECT_NE(0, Icmp("Fran\xE7"
                    "ais",
                    "FRAN\xC7"
                    "AIS"));
  EXPECT_EQ(0, Icmp("Fran\xE7"
                    "ais",
                    "FRAN\xE7"
                    "AIS"));
}

TEST(MbStringTest, TrailBytesNeverFoldOnTheirOwn) {
  CodePage chinese(936);
  EXPECT_EQ(0, Icmp("\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"));
  EXPECT_NE(0, Icmp("\xD6\xD0\xCE\xC4", "\xD6\xF0\xCE\xC4"));
  // 0x81 0x41 is one character whose second byte looks like 'A': it does not fold.
  EXPECT_NE(0, Icmp("\x81\x41", "\x81\x61"));
  EXPECT_EQ(0, Icmp("a\x81\x41z", "A\x81\x41Z"));
  // In a single-byte code page the same bytes are two characters, and 'A' folds.
  CodePage latin(1252);
  EXPECT_EQ(0, Icmp("\x81\x41", "\x81\x61"));
  EXPECT_EQ(-1, _setmbcp(12345));
}

// Double-byte letters fold to their capitals through the code page, as the Windows
// runtime folds them: full-width Latin, Greek and Cyrillic.
TEST(MbStringTest, DoubleByteLettersFoldWithinTheirCodePage) {
  CodePage chinese(936);
  EXPECT_EQ(0, Icmp("\xA3\xC1\xA6\xA1\xA7\xA1x", "\xA3\xE1\xA6\xC1\xA7\xD1X"));
  EXPECT_LT(Icmp("\xA3\xE1", "\xA3\xC2"), 0);  // a full-width a sorts as its capital
  EXPECT_NE(0, Icmp("\xA3\xC1", "A"));         // and is not the ASCII letter
  CodePage japanese(932);
  EXPECT_EQ(0, Icmp("\x82\x60\x84\x40\x84\x60", "\x82\x81\x84\x70\x84\x91"));
  EXPECT_EQ(0, Icmp("\x84\x4F", "\x84\x80"));  // past the gap at 0x847F
  CodePage korean(949);
  EXPECT_EQ(0, Icmp("\xA3\xDA\xA8\xA2", "\xA3\xFA\xA9\xA3"));
  CodePage big5(950);
  EXPECT_EQ(0, Icmp("\xA2\xE5\xA3\x44", "\xA3\x40\xA3\x5C"));
  EXPECT_NE(0, Cmp("\xA2\xE5", "\xA3\x40"));
}

TEST(CStringTest, BuildsCutsAndCompares) {
  CString s("Language");
  s += '3';
  EXPECT_EQ(9, s.GetLength());
  EXPECT_STREQ("Lang", s.Left(4));
  EXPECT_STREQ("uage3", s.Mid(4));
  EXPECT_STREQ("ua", s.Mid(4, 2));
  EXPECT_STREQ("", s.Mid(40));
  EXPECT_STREQ("e3", s.Right(2));
  CString f;
  f.Format("Language%d", 12);
  EXPECT_TRUE(f == "Language12");
  f.Format("%s", std::string(1000, 'x').c_str());  // longer than the small buffer
  EXPECT_EQ(1000, f.GetLength());
  EXPECT_STREQ("ab", CString("abcdef", 2));
  EXPECT_STREQ("", CString(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(CString("a") + "b" + CString("c") == "abc");
  EXPECT_TRUE(CString("x") != CString("X"));
  EXPECT_EQ(0, CString("x").CompareNoCase("X"));
  f.Empty();
  EXPECT_TRUE(f.IsEmpty());
}

// Names compare exactly ("k1" is not "K1"); past a few the map finds them through a
// table, from which removals take entries out: a model map must agree on every name
// after each step.
TEST(CollectionsTest, MapAgreesWithAModelThroughGrowthAndRemovals) {
  CMapStringToPtr map;
  std::map<std::string, void*> model;
  int slots[200];
  std::mt19937 random(7);
  for (int step = 0; step < 2000; ++step) {
    int n = static_cast<int>(random() % 200);
    std::string name = (n % 2 ? "K" : "k") + std::to_string(n / 2);
    if (random() % 3 == 0) {
      EXPECT_EQ(model.erase(name) == 1, map.RemoveKey(name.c_str()));
    } else {
      map.SetAt(name.c_str(), &slots[n]);
      model[name] = &slots[n];
    }
    ASSERT_EQ(static_cast<INT_PTR>(model.size()), map.GetCount());
    for (int k = 0; k < 200; ++k) {
      void* found = nullptr;
      const std::string probe = (k % 2 ? "K" : "k") + std::to_string(k / 2);
      auto in_model = model.find(probe);
      ASSERT_EQ(in_model != model.end(), map.Lookup(probe.c_str(), found));
      if (in_model != model.end()) {
        EXPECT_EQ(in_model->second, found);
      }
    }
  }
  CString key;
  void* value = nullptr;
  size_t seen = 0;
  for (POSITION pos = map.GetStartPosition(); pos; ++seen) {
    map.GetNextAssoc(pos, key, value);
    EXPECT_EQ(model[key.GetString()], value);
  }
  EXPECT_EQ(model.size(), seen);
}

}  // namespace
