// The ruzide tool, run as a child process on the test's own registry.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/library/LibraryStoreTest.h"
#include "tests/tool/RunTool.h"

namespace {

using ruzide::test::ChildResult;

using ToolTest = LibraryStoreTest;

TEST_F(ToolTest, HelpVersionAndBadCommandLinesFailWithAReasonWritingNothing) {
  const ChildResult help = Tool({"--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_TRUE(Contains(help.out, "settings get|set|reset|describe")) << help.out;
  EXPECT_TRUE(Contains(help.out, "reg query|add|delete|export|import")) << help.out;
  EXPECT_EQ(help.out, Tool({}).err);  // and status 2, as for every case below
  EXPECT_TRUE(Contains(Tool({"settings", "--help"}).out, "ruzide settings reset --all <schema>"));
  EXPECT_EQ("ruzide " RUZIDE_VERSION_TEXT "\n", Tool({"--version"}).out);
  const struct {
    std::vector<std::string> args;
    const char* reason;
  } kCases[] = {
      {{}, "Usage: ruzide"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"settings", "frob"}, "unknown settings command 'frob'"},
      {{"settings", "set", "Regional.Date"}, "usage: ruzide settings set"},
      {{"settings", "list", "nosuch"}, "no schema named 'nosuch'"},
      {{"settings", "reset", "--all", "nosuch"}, "no schema named 'nosuch'"},
      {{"settings", "set", "--json", "Regional.Date", "1"}, "--json is for"},
      {{"languages", "all"}, "takes no arguments"},
      {{"settings", "set", "Regional.Century", "1"}, "no setting named 'Regional.Century'"},
      {{"settings", "set", "Regional.Date", " 1"}, "' 1' is not a number"},
      {{"settings", "set", "Regional.Date", "0x"}, "is not a number"},
      {{"settings", "set", "Languages.Language1.LangId", "18446744073709551616"},
       "is not a number"},
      {{"settings", "set", "Languages.Language3.Description", "\xE4\xB8\xAD"},
       "cannot be written in code page 1252"},
  };
  for (const auto& c : kCases) {
    const ChildResult r = Tool(c.args);
    EXPECT_TRUE(Failed(r, 2, c.reason));
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
#ifndef _WIN32
  // A misspelt root in the read-only list would leave writable what was meant to be
  // protected: the tool refuses to run.
  const ChildResult typo = Tool({"reg", "add", "HKCU\\Software\\T", "/v", "x", "/d", "1", "/f"},
                                {{"RUZIDE_REGISTRY_READONLY", "HKCU, HKML"}});
  EXPECT_EQ(2, typo.status);
  EXPECT_TRUE(Contains(typo.err, "RUZIDE_REGISTRY_READONLY names no root: 'HKML'")) << typo.err;
#endif
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
  EXPECT_FALSE(Stored((kLanguages + "\\Language3").c_str(), "Description", nullptr, nullptr,
                      HKEY_LOCAL_MACHINE));
  // Only the settings commands load the library, whose trees create their keys; off
  // Windows not even a store is created, in an empty folder, by what loads no library,
  // nor by reg commands that only read.
  RegDeleteKeyA(HKEY_CURRENT_USER, kRegional.c_str());
#ifndef _WIN32
  TempStoreFolder empty;
#endif
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"},
                                             {"--version"},
                                             {"frobnicate"},
                                             {"settings", "frob"},
                                             {"settings", "--help"},
                                             {"languages", "all"},
                                             {"settings", "reset", "--all"},
                                             {"reg", "add", "/?"},
                                             {"reg", "query", "HKLM"}}) {
    EXPECT_NE(1, Tool(args).status) << args[0];
  }
  Tool({"reg", "query", "HKCU\\Software"});  // not there off Windows: no store yet
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::is_empty(empty.path()));
#else
  EXPECT_FALSE(KeyThere(kRegional.c_str()));
#endif
}

TEST_F(ToolTest, ListShowsBothTreesWithSourceBoundsAndKeyAsTextAndJson) {
  PutInt(kRegional.c_str(), "Date", 7);
  PutMachine(kLanguages, "NumLanguages", 3);
  ChildResult r = Tool({"settings"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string key = "HKEY_CURRENT_USER\\" + kBase + "\\";
  const std::vector<std::vector<std::string>> expected = {
      {"Languages.CurrentLangId", "REG_DWORD", "1033", "default", "0..4294967295",
       key + "Languages"},
      {"Regional.Date", "REG_DWORD", "7", "registry", "0..2", key + "Regional"},  // unclamped
      {"Settings.CurrentMnemonic", "REG_DWORD", "1", "default", "0..1", key + "Settings"},
      {"Languages.NumLanguages", "REG_DWORD", "3", "machine", "0..4294967295",
       "HKEY_LOCAL_MACHINE\\" + kLanguages},
      {"Languages.Language4.Description", "REG_SZ", "Espa\303\261ol", "default", "none",
       "HKEY_LOCAL_MACHINE\\" + kLanguages + "\\Language4"},
  };
  for (const auto& row : expected) EXPECT_EQ(row, Row(r.out, row[0]));
  EXPECT_EQ("machine", Row(r.out, "machine").at(0));
  // Columns line up by characters, not bytes: the source column of a row with "Espa\xC3\xB1ol"
  // starts where the one of a plain row does.
  auto source_column = [&](const std::string& name) {
    const size_t line = r.out.find(name);
    const size_t end = r.out.find(" default", line);
    size_t characters = 0;
    for (size_t i = r.out.rfind('\n', line) + 1; i < end; ++i) {
      characters += (static_cast<unsigned char>(r.out[i]) & 0xC0) != 0x80;
    }
    return characters;
  };
  EXPECT_EQ(source_column("Languages.Language4.LangId"),
            source_column("Languages.Language4.Description"));
  EXPECT_TRUE(Row(Tool({"settings", "list", "USER"}).out, "Languages.NumLanguages").empty());

  r = Tool({"settings", "list", "user", "--json"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(
      Contains(r.out,
               "{\"schema\":\"user\",\"name\":\"Regional.Date\",\"key\":"
               "\"HKEY_CURRENT_USER\\\\Software\\\\Tessary\\\\Brackenfield\\\\Common\\\\Regional\","
               "\"value_name\":\"Date\",\"type\":\"REG_DWORD\",\"default\":0,\"min\":0,"
               "\"max\":2,\"bounds\":\"unsigned\",\"value\":7,\"source\":\"registry\","
               "\"dirty\":false,\"summary\":\"Which of the family's date formats"))
      << r.out;
  // Listing writes nothing.
  EXPECT_FALSE(ValueThere((kBase + "\\Settings").c_str(), "CurrentMnemonic"));
}

// Names match in any case; set clamps and converts through the library and stores the
// result, even the value already held; reset deletes it so the default applies.
TEST_F(ToolTest, GetSetDescribeAndResetGoThroughTheLibrary) {
  PutInt(kRegional.c_str(), "Date", 1);
  ChildResult r = Tool({"settings", "get", "regional.DATE"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("1\n", r.out);
  EXPECT_EQ("\xE4\xB8\xAD\xE6\x96\x87\n",  // code page 936, as its slot's language
            Tool({"settings", "get", "Languages.Language6.Description"}).out);
  r = Tool({"settings", "describe", "Regional.Date"});
  EXPECT_TRUE(Contains(r.out, "bounds:   0..2, compared unsigned")) << r.out;
  EXPECT_TRUE(Contains(r.out, "current:  1 (registry)")) << r.out;
  EXPECT_TRUE(Contains(Tool({"settings", "describe", "Languages.Language2.LangId", "--json"}).out,
                       "\"default\":1033,"));

  r = Tool({"settings", "set", "Regional.Date", "5"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("Regional.Date = 2 (5 clamped to 0..2)\n", r.out);
  EXPECT_EQ(2, StoredInt(kRegional.c_str(), "Date"));
  EXPECT_EQ("Regional.Time = 0\n", Tool({"settings", "set", "Regional.Time", "0"}).out);
  EXPECT_EQ(0, StoredInt(kRegional.c_str(), "Time"));  // the value already held, stored
  EXPECT_EQ("Languages.CurrentLangId = 2052\n",
            Tool({"settings", "set", "Languages.CurrentLangId", "0x0804"}).out);
  // UTF-8 in, code page 1252 stored, UTF-8 out.
  r = Tool({"settings", "set", "Languages.Language3.Description", "Fran\303\247ais!"});
  EXPECT_EQ("Languages.Language3.Description = Fran\303\247ais!\n", r.out) << r.err;
  std::string data;
  ASSERT_TRUE(Stored((kLanguages + "\\Language3").c_str(), "Description", &data, nullptr,
                     HKEY_LOCAL_MACHINE));
  EXPECT_EQ(std::string("Fran\347ais!", 10), data);

  r = Tool({"settings", "reset", "Regional.Date"});
  EXPECT_EQ("Regional.Date = 0 (default)\n", r.out) << r.err;
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
  EXPECT_TRUE(ValueThere(kRegional.c_str(), "Time"));
}

#ifndef _WIN32  // the embedded store's care: a root it is told not to write, a damaged one
TEST_F(ToolTest, AStoreThatCannotBeUsedIsReportedAndFails) {
  const std::vector<std::pair<std::string, std::string>> readonly = {
      {"RUZIDE_REGISTRY_READONLY", "HKEY_CURRENT_USER"}};
  EXPECT_TRUE(Failed(Tool({"settings", "set", "Regional.Date", "1"}, readonly), 1,
                     "could not write Regional.Date"));
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
  // The reg commands name the registry's refusal and change nothing, but may read.
  PutString("Software\\T", "x", "1");
  EXPECT_TRUE(Failed(Tool({"reg", "add", "HKCU\\Software\\T\\New"}, readonly), 1,
                     "cannot create HKEY_CURRENT_USER\\Software\\T\\New: access denied (5)"));
  EXPECT_TRUE(
      Failed(Tool({"reg", "delete", "HKCU\\Software\\T", "/f"}, readonly), 1, "access denied (5)"));
  EXPECT_TRUE(ValueThere("Software\\T", "x"));
  EXPECT_EQ(0, Tool({"reg", "query", "HKCU\\Software\\T"}, readonly).status);
  ChildResult r = Tool({"settings", "list"}, readonly);
  EXPECT_TRUE(Failed(
      r, 1,
      "user: HKEY_CURRENT_USER\\" + kBase + " could not be opened for writing: access denied (5)"));
  EXPECT_FALSE(Contains(r.err, "machine:"));
  // The language table is a listing of the local-machine tree's store (here a read-only
  // one without the virtual copy).
  EXPECT_TRUE(Failed(
      Tool({"languages"}, {{"RUZIDE_REGISTRY_READONLY", "HKLM"}, {"RUZIDE_VIRTUALIZATION", "0"}}),
      1, "machine: HKEY_LOCAL_MACHINE\\" + kBase + " could not be opened"));
}

TEST_F(ToolTest, StoreCommandsNameADamagedRootAndRefuseWhatTheyMayNotDo) {
  const std::string backup = std::string(getenv("RUZIDE_REGISTRY")) + "/backup.db";
  EXPECT_EQ(0, Tool({"store", "backup", "HKCU", backup}).status);
  EXPECT_TRUE(
      Failed(Tool({"store", "backup", "hkcu", backup}), 1, "backup.db exists; /y replaces it"));
  EXPECT_EQ(0, Tool({"store", "backup", "HKCU", backup, "/Y"}).status);
  EXPECT_TRUE(
      Failed(Tool({"store", "restore", "HKCU", backup}, {{"RUZIDE_REGISTRY_READONLY", "HKCU"}}), 1,
             "this process may not write HKEY_CURRENT_USER"));
  EXPECT_EQ(2, Tool({"store", "check", "HKCU\\Software"}).status);

  PutMachine(kLanguages, "NumLanguages", 2);
  ruzide::registry::CloseAllStores();
  const std::string machine = ruzide::registry::StoreDatabasePath(HKEY_LOCAL_MACHINE);
  std::ofstream(machine, std::ios::in | std::ios::out) << "damaged";
  ChildResult r = Tool({"store", "check"});
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Contains(r.out, "HKEY_CURRENT_USER: ok")) << r.out;
  EXPECT_TRUE(Contains(r.err, "HKEY_LOCAL_MACHINE is damaged: " + machine +
                                  ": not an SQLite database (its header is wrong); restore a "
                                  "backup with 'ruzide store restore HKLM <file>'"))
      << r.err;
  const std::string way_out = "damaged or not a store (1009); 'ruzide store check' says why";
  EXPECT_TRUE(Failed(Tool({"reg", "query", "HKLM"}), 1, way_out));
  r = Tool({"languages"});
  EXPECT_TRUE(Failed(r, 1, "machine: HKEY_LOCAL_MACHINE\\" + kBase));
  EXPECT_TRUE(Contains(r.err, way_out)) << r.err;
}
#endif

// The table in UTF-8 from each slot's code page, then as the stored count extends it; an
// implausible count is refused. The listing writes nothing back.
TEST_F(ToolTest, LanguagesListsTheTableInUtf8AsTheStoredCountSays) {
  ChildResult r = Tool({"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 6 (NumLanguages by default"));
  EXPECT_EQ((std::vector<std::string>{"3", "1036", "(0x040C)", "C", "default", "Fran\303\247ais"}),
            Row(r.out, "3"));
  EXPECT_EQ((std::vector<std::string>{"6", "2052", "(0x0804)", "K", "default",
                                      "\xE4\xB8\xAD\xE6\x96\x87"}),
            Row(r.out, "6"));
  EXPECT_TRUE(Row(r.out, "7").empty());  // "User Defined" is not installed

  PutMachine(kLanguages, "NumLanguages", 9);
  // Slot 8 shares slot 1's identifier; its own character is still the one shown.
  PutMachine(kLanguages + "\\Language8", "LangId", 1031);
  PutMachine(kLanguages + "\\Language8", "FileExtension", "N");
  PutMachine(kLanguages + "\\Language8", "Description", "Nederlands");
  r = Tool({"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 9 (NumLanguages from the machine"));
  EXPECT_EQ((std::vector<std::string>{"7", "0", "(0x0000)", "X", "default", "User", "Defined"}),
            Row(r.out, "7"));
  EXPECT_EQ((std::vector<std::string>{"8", "1031", "(0x0407)", "N", "machine", "Nederlands"}),
            Row(r.out, "8"));
  // Slot 9 holds nothing: identifier 1033 and no character.
  EXPECT_EQ((std::vector<std::string>{"9", "1033", "(0x0409)", "default"}), Row(r.out, "9"));
  EXPECT_FALSE(
      Stored((kLanguages + "\\Language9").c_str(), "LangId", nullptr, nullptr, HKEY_LOCAL_MACHINE));

  PutMachine(kLanguages, "NumLanguages", 100000);
  EXPECT_TRUE(Failed(Tool({"languages"}), 1, "NumLanguages is 100000"));
}

}  // namespace

// The schema generated from a tree with every kind of value, found through
// RUZIDE_SCHEMA_PATH: the tool rebuilds the tree from it alone and assigns as the
// application's own classes do.
TEST_F(ToolTest, AnInstalledSchemaIsListedSetAndResetAsItsApplicationWould) {
#ifdef _WIN32
  const std::string path = "Z:\\no-such-folder;" RUZIDE_KINDS_SCHEMA_DIR;
#else
  const std::string path = "/no-such-folder:" RUZIDE_KINDS_SCHEMA_DIR;
#endif
  const std::vector<std::pair<std::string, std::string>> env = {{"RUZIDE_SCHEMA_PATH", path}};
  const std::string key = "Software\\RuzIdeTest\\Kinds";
  ChildResult r = Tool({"settings", "list", "KINDS", "--json"}, env);
  ASSERT_EQ(0, r.status) << r.err;
  for (const char* part :
       {R"("name":"Count","key":"HKEY_CURRENT_USER\\Software\\RuzIdeTest\\Kinds",)"
        R"("value_name":"Count","type":"REG_DWORD","default":5,"min":1,"max":10,)"
        R"("bounds":"unsigned","value":5,"source":"default")",
        R"("name":"Window.Left",)", R"("default":0,"min":-100,"max":100,"bounds":"signed")",
        R"("summary":"Left edge, signed")",
        R"("type":"REG_QWORD","default":0,"min":-5,"max":1099511627776,"bounds":"signed")",
        "\"type\":\"REG_SZ\",\"default\":\"Caf\xC3\xA9\"",
        R"("type":"REG_EXPAND_SZ","default":"%HOME%\\x")", R"("type":"REG_MULTI_SZ")",
        R"("type":"REG_BINARY","default":"000000")"}) {
    EXPECT_TRUE(Contains(r.out, part)) << part << "\n" << r.out;
  }
  const struct {
    const char *name, *value, *printed;
  } kSets[] = {
      {"count", "50", "Count = 10 (50 clamped to 1..10)\n"},
      {"Window.Left", "-500", "Window.Left = -100 (-500 clamped to -100..100)\n"},
      {"Window.Bytes", "-9", "Window.Bytes = -5 (-9 clamped to -5..1099511627776)\n"},
      {"Title", "Th\xC3\xA9", "Title = Th\xC3\xA9\n"},
      {"Blob", "0A0b0C", "Blob = 0A0B0C\n"},
  };
  EXPECT_EQ("5\n", Tool({"settings", "get", "Kinds:Count"}, env).out);
  for (const auto& s : kSets) {
    r = Tool({"settings", "set", s.name, s.value}, env);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(s.printed, r.out);
  }
  EXPECT_EQ(10, StoredInt(key.c_str(), "Count"));
  std::string data;
  ASSERT_TRUE(Stored(key.c_str(), "Title", &data));
  EXPECT_EQ(std::string("Th\xE9\0", 4), data);  // code page 1252, as the schema says
  // Refused, writing nothing: a string without a form in the code page, the wrong size.
  EXPECT_EQ(2, Tool({"settings", "set", "Folder", "\xE4\xB8\xAD"}, env).status);
  EXPECT_EQ(2, Tool({"settings", "set", "Blob", "0102"}, env).status);
  EXPECT_FALSE(ValueThere(key.c_str(), "Folder"));
  r = Tool({"settings", "reset", "--all", "kinds"}, env);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Title = Caf\xC3\xA9 (default)\n")) << r.out;
  EXPECT_FALSE(ValueThere(key.c_str(), "Count"));
  EXPECT_FALSE(ValueThere((key + "\\Window").c_str(), "Left"));
  // Without the path the schema is unknown.
  EXPECT_TRUE(Failed(Tool({"settings", "list", "kinds"}), 2,
                     "no schema named 'kinds' (the schemas: user, machine)"));
}
