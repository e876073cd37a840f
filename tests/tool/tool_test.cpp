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
  EXPECT_TRUE(Contains(help.out, "reg query|add|delete|export|import")) << help.out;
  EXPECT_EQ(help.out, Tool({}).err);  // and status 2, as for every failure below
  ExpectRuns({
      {{"--help"}, 0, "~settings get|set|reset|describe"},
      {{"settings", "--help"}, 0, "~ruzide settings reset --all <schema>"},
      {{"--version"}, 0, "ruzide " RUZIDE_VERSION_TEXT "\n"},
      {{}, 2, "", "Usage: ruzide"},
      {{"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
      {{"settings", "frob"}, 2, "", "unknown settings command 'frob'"},
      {{"settings", "set", "Regional.Date"}, 2, "", "usage: ruzide settings set"},
      {{"settings", "list", "nosuch"}, 2, "", "no schema named 'nosuch'"},
      {{"settings", "reset", "--all", "nosuch"}, 2, "", "no schema named 'nosuch'"},
      {{"settings", "set", "--json", "Regional.Date", "1"}, 2, "", "--json is for"},
      {{"languages", "all"}, 2, "", "takes no arguments"},
      {{"settings", "set", "Regional.Century", "1"}, 2, "", "no setting named 'Regional.Century'"},
      {{"settings", "set", "Regional.Date", " 1"}, 2, "", "' 1' is not a number"},
      {{"settings", "set", "Regional.Date", "0x"}, 2, "", "is not a number"},
      {{"settings", "set", "Languages.Language1.LangId", "18446744073709551616"},
       2,
       "",
       "is not a number"},
      {{"settings", "set", "Languages.Language3.Description", "\xE4\xB8\xAD"},
       2,
       "",
       "cannot be written in code page 1252"},
  });
#ifndef _WIN32
  // A misspelt root in the read-only list would leave writable what was meant to be
  // protected: the tool refuses to run.
  ExpectRuns({{{"reg", "add", "HKCU\\Software\\T", "/v", "x", "/d", "1", "/f"},
               2,
               "",
               "RUZIDE_REGISTRY_READONLY names no root: 'HKML'"}},
             {{"RUZIDE_REGISTRY_READONLY", "HKCU, HKML"}});
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

  ExpectRuns({{{"settings", "list", "user", "--json"},
               0,
               "~{\"schema\":\"user\",\"name\":\"Regional.Date\",\"key\":"
               "\"HKEY_CURRENT_USER\\\\Software\\\\Tessary\\\\Brackenfield\\\\Common\\\\Regional\","
               "\"value_name\":\"Date\",\"type\":\"REG_DWORD\",\"default\":0,\"min\":0,"
               "\"max\":2,\"bounds\":\"unsigned\",\"value\":7,\"source\":\"registry\","
               "\"dirty\":false,\"summary\":\"Which of the family's date formats"}});
  // Listing writes nothing.
  EXPECT_FALSE(ValueThere((kBase + "\\Settings").c_str(), "CurrentMnemonic"));
}

// Names match in any case; set clamps and converts through the library and stores the
// result, even the value already held; reset deletes it so the default applies.
TEST_F(ToolTest, GetSetDescribeAndResetGoThroughTheLibrary) {
  PutInt(kRegional.c_str(), "Date", 1);
  ExpectRuns({
      {{"settings", "get", "regional.DATE"}, 0, "1\n"},
      // code page 936, as its slot's language
      {{"settings", "get", "Languages.Language6.Description"}, 0, "\xE4\xB8\xAD\xE6\x96\x87\n"},
      {{"settings", "describe", "Regional.Date"}, 0, "~bounds:   0..2, compared unsigned\n"},
      {{"settings", "describe", "Regional.Date"}, 0, "~current:  1 (registry)"},
      {{"settings", "describe", "Languages.Language2.LangId", "--json"}, 0, "~\"default\":1033,"},
      {{"settings", "set", "Regional.Date", "5"}, 0, "Regional.Date = 2 (5 clamped to 0..2)\n"},
      {{"settings", "set", "Regional.Time", "0"}, 0, "Regional.Time = 0\n"},
      {{"settings", "set", "Languages.CurrentLangId", "0x0804"},
       0,
       "Languages.CurrentLangId = 2052\n"},
      // UTF-8 in, code page 1252 stored, UTF-8 out.
      {{"settings", "set", "Languages.Language3.Description", "Fran\303\247ais!"},
       0,
       "Languages.Language3.Description = Fran\303\247ais!\n"},
  });
  EXPECT_EQ(2, StoredInt(kRegional.c_str(), "Date"));
  EXPECT_EQ(0, StoredInt(kRegional.c_str(), "Time"));  // the value already held, stored
  EXPECT_EQ(std::string("Fran\347ais!", 10),
            MachineValue(kLanguages + "\\Language3", "Description"));
  ExpectRuns({{{"settings", "reset", "Regional.Date"}, 0, "Regional.Date = 0 (default)\n"}});
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
  EXPECT_TRUE(ValueThere(kRegional.c_str(), "Time"));
}

#ifndef _WIN32  // the embedded store's care: a root it is told not to write, a damaged one
TEST_F(ToolTest, AStoreThatCannotBeUsedIsReportedAndFails) {
  // The reg commands name the registry's refusal and change nothing, but may read.
  PutString("Software\\T", "x", "1");
  ExpectRuns({{{"settings", "set", "Regional.Date", "1"}, 1, "~", "could not write Regional.Date"},
              {{"reg", "add", "HKCU\\Software\\T\\New"},
               1,
               "~",
               "cannot create HKEY_CURRENT_USER\\Software\\T\\New: access denied (5)"},
              {{"reg", "delete", "HKCU\\Software\\T", "/f"}, 1, "~", "access denied (5)"},
              {{"reg", "query", "HKCU\\Software\\T"}, 0},
              {{"settings", "list"},
               1,
               "~",
               "user: HKEY_CURRENT_USER\\" + kBase +
                   " could not be opened for writing: access denied (5)"}},
             {{"RUZIDE_REGISTRY_READONLY", "HKEY_CURRENT_USER"}});
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Date"));
  EXPECT_TRUE(ValueThere("Software\\T", "x"));
  EXPECT_FALSE(
      Contains(Tool({"settings", "list"}, {{"RUZIDE_REGISTRY_READONLY", "HKCU"}}).err, "machine:"));
  // The language table is a listing of the local-machine tree's store (here a read-only
  // one without the virtual copy).
  ExpectRuns(
      {{{"languages"}, 1, "~", "machine: HKEY_LOCAL_MACHINE\\" + kBase + " could not be opened"}},
      {{"RUZIDE_REGISTRY_READONLY", "HKLM"}, {"RUZIDE_VIRTUALIZATION", "0"}});
}

TEST_F(ToolTest, StoreCommandsNameADamagedRootAndRefuseWhatTheyMayNotDo) {
  const std::string backup = std::string(getenv("RUZIDE_REGISTRY")) + "/backup.db";
  ExpectRuns({{{"store", "backup", "HKCU", backup}},
              {{"store", "backup", "hkcu", backup}, 1, "~", "backup.db exists; /y replaces it"},
              {{"store", "backup", "HKCU", backup, "/Y"}},
              {{"store", "check", "HKCU\\Software"}, 2}});
  ExpectRuns({{{"store", "restore", "HKCU", backup},
               1,
               "~",
               "this process may not write HKEY_CURRENT_USER"}},
             {{"RUZIDE_REGISTRY_READONLY", "HKCU"}});
  PutMachine(kLanguages, "NumLanguages", 2);
  ruzide::registry::CloseAllStores();
  const std::string machine = ruzide::registry::StoreDatabasePath(HKEY_LOCAL_MACHINE);
  std::ofstream(machine, std::ios::in | std::ios::out) << "damaged";
  const std::string way_out = "damaged or not a store (1009); 'ruzide store check' says why";
  ExpectRuns({{{"store", "check"},
               1,
               "~HKEY_CURRENT_USER: ok",
               "HKEY_LOCAL_MACHINE is damaged: " + machine +
                   ": not an SQLite database (its header is wrong); restore a "
                   "backup with 'ruzide store restore HKLM <file>'"},
              {{"reg", "query", "HKLM"}, 1, "~", way_out},
              {{"languages"}, 1, "~", way_out}});
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
  ExpectRuns({{{"settings", "get", "Kinds:Count"}, 0, "5\n"},
              {{"settings", "set", "count", "50"}, 0, "Count = 10 (50 clamped to 1..10)\n"},
              {{"settings", "set", "Window.Left", "-500"},
               0,
               "Window.Left = -100 (-500 clamped to -100..100)\n"},
              {{"settings", "set", "Window.Bytes", "-9"},
               0,
               "Window.Bytes = -5 (-9 clamped to -5..1099511627776)\n"},
              {{"settings", "set", "Title", "Th\xC3\xA9"}, 0, "Title = Th\xC3\xA9\n"},
              {{"settings", "set", "Blob", "0A0b0C"}, 0, "Blob = 0A0B0C\n"},
              // Refused, writing nothing: a string without a form in the code page, the
              // wrong size.
              {{"settings", "set", "Folder", "\xE4\xB8\xAD"}, 2},
              {{"settings", "set", "Blob", "0102"}, 2}},
             env);
  EXPECT_EQ(10, StoredInt(key.c_str(), "Count"));
  std::string data;
  ASSERT_TRUE(Stored(key.c_str(), "Title", &data));
  EXPECT_EQ(std::string("Th\xE9\0", 4), data);  // code page 1252, as the schema says
  EXPECT_FALSE(ValueThere(key.c_str(), "Folder"));
  ExpectRuns({{{"settings", "reset", "--all", "kinds"}, 0, "~Title = Caf\xC3\xA9 (default)\n"}},
             env);
  EXPECT_FALSE(ValueThere(key.c_str(), "Count"));
  EXPECT_FALSE(ValueThere((key + "\\Window").c_str(), "Left"));
  // Without the path the schema is unknown.
  EXPECT_TRUE(Failed(Tool({"settings", "list", "kinds"}), 2,
                     "no schema named 'kinds' (the schemas: user, machine)"));
}
