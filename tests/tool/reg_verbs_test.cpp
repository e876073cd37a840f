// `ruzide reg copy`, `reg compare` and `reg query /f`, run as a child process on the
// test's own registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tool/RegTest.h"

namespace {

using ruzide::test::ChildResult;
using RegVerbsTest = RegTest;

TEST_F(RegVerbsTest, CopyAsksBeforeReplacingTakesTheSubtreeWithSAndNeverCopiesIntoItself) {
  PutString(Sub("Src").c_str(), "a", "new");
  PutInt(Sub("Src").c_str(), "n", 1);
  PutString(Sub("Src\\Sub\\Deep").c_str(), "", "deep");
  PutString(Sub("Dst").c_str(), "a", "old");
  PutString(Sub("Dst").c_str(), "keep", "mine");
  const std::string src = Key("Src"), dst = Key("Dst");
  const std::string question = "Overwrite value 'a' of " + dst + "? (Yes/No/All) ";

  // An answer it does not know is asked again; No keeps the value, the rest is copied.
  std::string input = "x\nno\n";
  ChildResult r = Tool({"reg", "copy", src, dst}, {}, &input);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(question + question, r.out);
  EXPECT_EQ("old", Text(Sub("Dst"), "a"));
  EXPECT_EQ(1, StoredInt(Sub("Dst").c_str(), "n"));
  EXPECT_FALSE(KeyThere(Sub("Dst\\Sub").c_str()));

  // No answer copies nothing; All replaces every value without asking again.
  input = "";
  EXPECT_TRUE(Failed(Tool({"reg", "copy", src, dst, "/s"}, {}, &input), 1,
                     "no answer on standard input; nothing was copied"));
  EXPECT_FALSE(KeyThere(Sub("Dst\\Sub").c_str()));
  input = "All\n";
  r = Tool({"reg", "copy", src, dst, "/S"}, {}, &input);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(question, r.out);
  EXPECT_EQ("new", Text(Sub("Dst"), "a"));
  EXPECT_EQ("mine", Text(Sub("Dst"), "keep"));
  EXPECT_EQ("deep", Text(Sub("Dst\\Sub\\Deep"), ""));

  for (const std::string& to : {Key("src\\Sub\\In"), std::string("hkcu\\") + Sub("SRC") + "\\"}) {
    EXPECT_TRUE(Failed(Tool({"reg", "copy", src, to, "/s", "/f"}), 1, "cannot copy " + src)) << to;
  }
  EXPECT_FALSE(KeyThere(Sub("Src\\Sub\\In").c_str()));
  // Without /s only the values go, so a key below is a destination like any other.
  EXPECT_EQ(0, Tool({"reg", "copy", src, Key("Src\\Sub\\Values"), "/f"}).status);
  EXPECT_EQ("new", Text(Sub("Src\\Sub\\Values"), "a"));

#ifdef _WIN32
  // Windows' own reg copies the same tree to the same result, as compare finds.
  Put(Sub("Src").c_str(), "empty", REG_SZ, "", 0);
  Put(Sub("Src\\Sub").c_str(), "odd", 0x100, "%PATH%", 7);
  r = ruzide::test::RunChild({"reg.exe", "copy", src, Key("Theirs"), "/s", "/f"});
  ASSERT_EQ(0, r.status) << r.out << r.err;
  ASSERT_EQ(0, Tool({"reg", "copy", src, Key("Ours"), "/s", "/f"}).status);
  r = Tool({"reg", "compare", Key("Ours"), Key("Theirs"), "/s"});
  EXPECT_EQ(0, r.status) << r.out << r.err;
#else  // the store's transaction: a key the registry refuses copies nothing
  // Deep enough that the source's deepest key would land one level below the limit.
  std::string deep = "HKCU\\" + Sub("Deep");
  for (int depth = 3; depth < 511; ++depth) deep += "\\k";
  EXPECT_TRUE(Failed(Tool({"reg", "copy", src, deep, "/s", "/f"}), 1, "; nothing was copied"));
  EXPECT_FALSE(KeyThere(Sub("Deep").c_str()));
#endif
}

TEST_F(RegVerbsTest, CompareAnswersIdenticalOrDifferentAndPrintsWhatIsAskedFor) {
  for (const char* side : {"A", "B"}) {
    PutString(Sub(side).c_str(), "x", "1");
    PutInt(Sub(side).c_str(), "y", side[0] == 'A' ? 2 : 3);
    PutString(Sub(side + std::string("\\Both\\Inner")).c_str(), "z", side);
    MakeKey(Sub(side + std::string("\\Only") + side).c_str());
  }
  PutString(Sub("B").c_str(), "w", "only b");
  const std::string a = Key("A"), b = Key("B");

  // A failure is 1, since 2 means different (bad command lines are the reg test's).
  ExpectRuns({
      {{"reg", "compare", a, b},
       2,
       "< Value: " + a + "  y  REG_DWORD  0x2\n" + "> Value: " + b + "  y  REG_DWORD  0x3\n" +
           "> Value: " + b + "  w  REG_SZ  only b\n" + "< Key: " + a + "\\OnlyA\n" + "> Key: " + b +
           "\\OnlyB\n" + "Result Compared: Different\n"},
      {{"reg", "compare", a, b, "/s", "/os"},
       2,
       "= Value: " + a + "  x  REG_SZ  1\n" + "= Key: " + a + "\\Both\n" + "= Key: " + a +
           "\\Both\\Inner\n" + "Result Compared: Different\n"},
      {{"reg", "compare", a, b, "/v", "X", "/s", "/oa"},
       0,
       "= Value: " + a + "  x  REG_SZ  1\nResult Compared: Identical\n"},
      {{"reg", "compare", a, b, "/v", "z", "/s", "/on"}, 2, "Result Compared: Different\n"},
      {{"reg", "compare", a + "\\Both", b + "\\both"}, 0},
      {{"reg", "compare", a, b, "/ve"}, 1, "", "neither key has the unnamed value"},
      {{"reg", "compare", a, Key("Missing")}, 1, "", "cannot read " + Key("Missing")},
  });
}

TEST_F(RegVerbsTest, QueryFindMatchesPartsOrWholesInAnyCaseOrExactly) {
  const std::string k = Sub("K");
  PutString(k.c_str(), "Color", "Foo bar");
  PutInt(k.c_str(), "Count", 0x1f);
  Put(k.c_str(), "List", REG_MULTI_SZ, "one\0FOO\0", 9);
  MakeKey(Sub("K\\Food").c_str());
  PutString(Sub("K\\Sub").c_str(), "v", "foo");
  const std::string key = Key("K");

  const std::string one = "\n\nEnd of search: 1 match(es) found.\n";
  ExpectRuns({
      // Without /s: the key's names and data, and its subkeys' names.
      {{"reg", "query", key, "/f", "foo"},
       0,
       "\n" + key + "\n" +
           "    Color    REG_SZ    Foo bar\n    List    REG_MULTI_SZ    one\\0FOO\n\n" + key +
           "\\Food\n\nEnd of search: 3 match(es) found.\n"},
      {{"reg", "query", key, "/f", "foo", "/s", "/c"}, 0, "~    v    REG_SZ    foo" + one},
      {{"reg", "query", key, "/f", "FOO", "/s", "/e"}, 0, "~    v    REG_SZ    foo" + one},
      {{"reg", "query", key, "/f", "one,f?o", "/e", "/se", ",", "/d"},
       0,
       "~    List    REG_MULTI_SZ    one,FOO" + one},
      {{"reg", "query", key, "/f", "0x1?", "/t", "REG_SZ,reg_dword"},
       0,
       "~    Count    REG_DWORD    0x1f" + one},
      {{"reg", "query", key, "/f", "c*", "/v", "/e"}, 0, "~End of search: 2 match(es) found."},
      {{"reg", "query", key, "/f", "s*", "/s", "/k", "/e"}, 0, "~\\K\\Sub" + one},
      {{"reg", "query", key, "/f", "zzz", "/s"}, 0, "~End of search: 0 match(es) found."},
  });
}

}  // namespace
