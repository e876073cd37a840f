// The ruzide tool, run as a child process on the test's own registry.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/library/LibraryStoreTest.h"
#include "tests/tool/RunTool.h"

namespace {

using ruzide::test::ChildResult;

// The whitespace-separated fields of the line of `text` that starts with `first`.
std::vector<std::string> Row(const std::string& text, const std::string& first) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string f; fields >> f;) row.push_back(f);
    if (!row.empty() && row[0] == first) return row;
  }
  return {};
}

using ToolTest = LibraryStoreTest;

TEST_F(ToolTest, HelpOnRequestAndBadCommandLinesFailWithAReason) {
  const ChildResult help = Tool({"--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_TRUE(Contains(help.out, "settings set <Key>.<Value> <n>"));
  EXPECT_EQ(help.out, Tool({}).err);  // and status 2, as for every case below
  const struct {
    std::vector<std::string> args;
    const char* reason;
  } kCases[] = {
      {{}, "Usage: ruzide"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"settings", "get"}, "unknown settings command 'get'"},
      {{"settings", "set", "Regional.Date"}, "usage: ruzide settings set"},
      {{"languages", "all"}, "takes no arguments"},
      {{"settings", "set", "Regional.Century", "1"}, "no setting named 'Regional.Century'"},
      {{"settings", "set", "regional.date", "1"}, "no setting named"},
      {{"settings", "set", "Regional.Date", "two"}, "'two' is not a number"},
      {{"settings", "set", "Regional.Date", " 1"}, "is not a number"},
      {{"settings", "set", "Regional.Date", "0x"}, "is not a number"},
      {{"settings", "set", "Regional.Date", "4294967296"}, "is not a number"},
  };
  for (const auto& c : kCases) {
    const ChildResult r = Tool(c.args);
    EXPECT_EQ(2, r.status) << c.reason;
    EXPECT_TRUE(Contains(r.err, c.reason)) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_TRUE(Contains(Tool({"settings", "set", "Regional.X", "1"}).err, "Regional.Date"));
#ifndef _WIN32
  // A misspelt root in the read-only list would leave writable what was meant to be
  // protected: the tool refuses to run.
  const ChildResult typo = Tool({"reg", "add", "HKCU\\Software\\T", "/v", "x", "/d", "1", "/f"},
                                {{"RUZIDE_REGISTRY_READONLY", "HKCU, HKML"}});
  EXPECT_EQ(2, typo.status);
  EXPECT_TRUE(Contains(typo.err, "RUZIDE_REGISTRY_READONLY names no root: 'HKML'")) << typo.err;
#endif
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
}

TEST_F(ToolTest, SettingsListsEveryValueWithSourceBoundsAndKey) {
  PutInt(kRegional.c_str(), "Date", 7);
  const ChildResult r = Tool({"settings"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string key = "HKEY_CURRENT_USER\\" + kBase + "\\";
  const std::vector<std::vector<std::string>> expected = {
      {"Languages.CurrentLangId", "1033", "default", "0..4294967295", key + "Languages"},
      {"Regional.Date", "7", "store", "0..2", key + "Regional"},  // loaded unclamped
      {"Regional.Time", "0", "default", "0..1", key + "Regional"},
      {"Regional.System", "0", "default", "0..1", key + "Regional"},
      {"Regional.Decimal", "0", "default", "0..1", key + "Regional"},
      {"Settings.CurrentMnemonic", "1", "default", "0..1", key + "Settings"},
  };
  for (const auto& row : expected) EXPECT_EQ(row, Row(r.out, row[0]));
  // Listing writes nothing.
  EXPECT_FALSE(ValueThere((kBase + "\\Settings").c_str(), "CurrentMnemonic"));
}

TEST_F(ToolTest, SetClampsThroughTheLibraryAndStoresTheResult) {
  ChildResult r = Tool({"settings", "set", "Regional.Date", "5"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("Regional.Date = 2 (5 clamped to 0..2)\n", r.out);
  EXPECT_EQ(2, StoredInt(kRegional.c_str(), "Date"));

  r = Tool({"settings", "set", "Languages.CurrentLangId", "0x0804"});
  EXPECT_EQ("Languages.CurrentLangId = 2052\n", r.out);
  // Setting the value already held still stores it.
  r = Tool({"settings", "set", "Regional.Time", "0"});
  EXPECT_EQ("Regional.Time = 0\n", r.out);
  EXPECT_EQ(0, StoredInt(kRegional.c_str(), "Time"));

  r = Tool({"settings"});
  EXPECT_EQ((std::vector<std::string>{"Languages.CurrentLangId", "2052", "store", "0..4294967295",
                                      "HKEY_CURRENT_USER\\" + kBase + "\\Languages"}),
            Row(r.out, "Languages.CurrentLangId"));
}

#ifndef _WIN32  // a root the store is told not to write
TEST_F(ToolTest, SetOnAStoreItMayNotWriteFails) {
  const ChildResult r = Tool({"settings", "set", "Regional.Date", "1"},
                             {{"RUZIDE_REGISTRY_READONLY", "HKEY_CURRENT_USER"}});
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Contains(r.err, "could not write Regional.Date")) << r.err;
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
}
#endif

TEST_F(ToolTest, LanguagesShowsTheDefaultTableInUtf8) {
  const ChildResult r = Tool({"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 6 (NumLanguages by default"));
  EXPECT_EQ((std::vector<std::string>{"1", "1031", "(0x0407)", "A", "Deutsch"}), Row(r.out, "1"));
  EXPECT_EQ((std::vector<std::string>{"3", "1036", "(0x040C)", "C",
                                      "Fran\xC3\xA7"
                                      "ais"}),
            Row(r.out, "3"));
  EXPECT_EQ((std::vector<std::string>{"4", "1034", "(0x040A)", "D",
                                      "Espa\xC3\xB1"
                                      "ol"}),
            Row(r.out, "4"));
  EXPECT_EQ((std::vector<std::string>{"6", "2052", "(0x0804)", "K", "\xE4\xB8\xAD\xE6\x96\x87"}),
            Row(r.out, "6"));
  EXPECT_TRUE(Row(r.out, "7").empty());  // "User Defined" is not installed
}

TEST_F(ToolTest, LanguagesFollowsTheStoredCountAndLeavesNothingBehind) {
  PutMachine(kLanguages, "NumLanguages", 9);
  // Slot 8 shares slot 1's identifier; its own character is still the one shown.
  PutMachine(kLanguages + "\\Language8", "LangId", 1031);
  PutMachine(kLanguages + "\\Language8", "FileExtension", "N");
  PutMachine(kLanguages + "\\Language8", "Description", "Nederlands");
  const ChildResult r = Tool({"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 9 (NumLanguages from the store"));
  EXPECT_EQ((std::vector<std::string>{"7", "0", "(0x0000)", "X", "User", "Defined"}),
            Row(r.out, "7"));
  EXPECT_EQ((std::vector<std::string>{"8", "1031", "(0x0407)", "N", "Nederlands"}),
            Row(r.out, "8"));
  // Slot 9 holds nothing: identifier 1033 and no character.
  EXPECT_EQ((std::vector<std::string>{"9", "1033", "(0x0409)"}), Row(r.out, "9"));
  EXPECT_FALSE(
      Stored((kLanguages + "\\Language9").c_str(), "LangId", nullptr, nullptr, HKEY_LOCAL_MACHINE));
}

TEST_F(ToolTest, LanguagesRefusesAnImplausibleCount) {
  PutMachine(kLanguages, "NumLanguages", 100000);
  const ChildResult r = Tool({"languages"});
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Contains(r.err, "NumLanguages is 100000")) << r.err;
}

}  // namespace
