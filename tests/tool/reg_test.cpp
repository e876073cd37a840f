// The `ruzide reg` commands, run as a child process on the test's own registry.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif
#include <vector>

#include "tests/tool/RegTest.h"

namespace {

using ruzide::test::ChildResult;

// What the cross-check with reg.exe below cannot hold the tool to, since Wine's reg.exe
// does otherwise (docs/ruzide-tool.md): REG_QWORD data, a type without a name, control
// characters, /t, /se and /z without /f, and the count line of a search.
TEST_F(RegTest, QueryShowsWhatWinesRegExeDoesNot) {
  Put(kSub, "Big", REG_QWORD, std::string(8, '\xff').data(), 8);
  Put(kSub, "Custom", 0x20, "\xfe", 1);
  Put(kSub, "Multi", REG_MULTI_SZ, "a\0b c\\0\0", 9);
  PutString(kSub, "Str", "tab\tok");
  PutString(Sub("Child\\Deep").c_str(), "Str", "deeper");
  ExpectRuns({
      {{"reg", "query", kKey},
       0,
       "\n" + kKey + "\n    Big    REG_QWORD    0xffffffffffffffff\n    Custom    0x20    FE\n" +
           "    Multi    REG_MULTI_SZ    a\\0b c\\0\n    Str    REG_SZ    tab\\x09ok\n\n" + kKey +
           "\\Child\n"},
      {{"reg", "query", kKey, "/s", "/t", "REG_SZ,REG_MULTI_SZ", "/se", "|", "/z"},
       0,
       "\n" + kKey +
           "\n    Multi    REG_MULTI_SZ (7)    a|b c\\0\n    Str    REG_SZ (1)    tab\\x09ok\n\n" +
           kKey + "\\Child\n\n" + kKey + "\\Child\\Deep\n    Str    REG_SZ (1)    deeper\n\n"},
      {{"reg", "query", kKey, "/v", "str", "/s"}, 0, "~\nEnd of search: 2 match(es) found.\n"},
  });
}

// Without /f, add and delete ask first: No changes nothing and is no failure, as
// Windows' reg answers it; no answer at all changes nothing and is one. (Asking again
// after an answer it does not know is the copy test's.)
TEST_F(RegTest, AddAndDeleteAskWithoutForce) {
  PutString(kSub, "Str", "old");
  const std::string overwrite = "Overwrite value 'Str' of " + kKey + "? (Yes/No) ";
  const std::string delete_key = "Delete " + kKey + " and every key below it? (Yes/No) ";
  const std::string no_answer = "no answer on standard input";
  ExpectRuns({{{"reg", "add", kKey, "/v", "Str", "/d", "new"}, 0, overwrite, "", "N\n"},
              {{"reg", "add", kKey, "/v", "Str", "/d", "new"}, 1, overwrite + "\n", no_answer, ""},
              {{"reg", "delete", kKey}, 0, delete_key, "", "no\n"},
              {{"reg", "delete", kKey}, 1, delete_key + "\n", no_answer, ""}});
  EXPECT_EQ(std::string("old", 4), Bytes(kSub, "Str"));
  ExpectRuns({{{"reg", "add", kKey, "/v", "Str", "/t", "REG_DWORD", "/d", "7"},
               0,
               overwrite,
               "",
               "yes\n"}});
  EXPECT_EQ(7, StoredInt(kSub, "Str"));
  const std::string yes = "y\n";
  EXPECT_EQ(0, Tool({"reg", "delete", kKey, "/v", "Str"}, {}, &yes).status);
  EXPECT_FALSE(ValueThere(kSub, "Str"));
}

TEST_F(RegTest, BadCommandLinesFailWithAReasonAndChangeNothing) {
  // 1, as Windows' reg answers every failure. Each reg command answers /? (or -?, /h, -H)
  // with its own help, in the shape of Windows' reg.
  ExpectRuns({
      {{"reg", "--help"}, 0, "~import <file>"},
      {{"reg", "/h"}, 0},
      {{"reg", "query", "/?"}, 0, "~ruzide reg query <KEY>"},
      {{"reg", "query", "/?"}, 0, "~\n  /ve\n     "},
      {{"reg", "delete", "-?"}, 0, "~ruzide reg delete <KEY>"},
      {{"reg", "add", "/h"}, 0, "~ruzide reg add <KEY>"},
      {{"reg", "export", "-H"}, 0, "~ruzide reg export <KEY>"},
      {{"reg"}, 1, "", "Usage: ruzide reg"},
      {{"reg", "query", "HKCR\\Software"}, 1, "", "does not start with HKEY_CURRENT_USER (HKCU)"},
      {{"reg", "copy", kKey, "HKLM\\", "/f"}, 1, "", "invalid key name"},
      {{"reg", "delete", "HKCU", "/f"}, 1, "", "a root cannot be deleted"},
      {{"reg", "export", kKey}, 1, "", "usage: ruzide reg export <KEY> <file> [/y]"},
      {{"reg", "compare", kKey, kKey, "/od", "/oa"},
       1,
       "",
       "give only one of /od, /os, /oa and /on"},
      {{"reg", "compare", kKey}, 1, "", "usage: ruzide reg compare <KEY1> <KEY2>"},
      {{"reg", "query", kKey, "/k"}, 1, "", "/k needs /f <pattern>"},
      {{"reg", "query", kKey, "/f", "x", "/se", "ab"}, 1, "", "/se takes one character"},
      {{"reg", "query", kKey, "/f", "x", "/v", "Color"}, 1, "", "with /f, /v takes no name"},
      {{"reg", "query", kKey, "/f", "x", "/t", "REG_SZ,REG_LINK"},
       1,
       "",
       "unknown type 'REG_LINK'"},
  });
  EXPECT_FALSE(KeyThere(kSub));
}

TEST_F(RegTest, ExportThenImportRestoresEveryValueByteForByte) {
  PutString(kSub, "Quote \"and\\ slash", "C:\\Temp \"x\"");
  PutString(kSub, "", "unnamed");
  Put(kSub, "NoZero", REG_SZ, "abc!", 3);  // Windows would keep a zero after the data
  Put(kSub, "Lines", REG_SZ, "a\r\nb", 5);
  PutString(kSub, "Accent", "caf\xE9");
  PutInt(kSub, "Count", 10);
  Put(kSub, "Short", REG_DWORD, "\x01\x02", 2);
  Put(kSub, "Big", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  Put(kSub, "Multi", REG_MULTI_SZ, "a\0b\0\0", 5);
  PutString(kSub, "Expand", "%HOME%", REG_EXPAND_SZ);
  Put(kSub, "None", REG_NONE, "", 0);
  Put(kSub, "Custom", 0x20, "\xfe", 1);
  std::string blob;
  for (int i = 0; i < 100; ++i) blob += static_cast<char>(i);
  Put(kSub, "Blob", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
  PutInt(Sub("Sub\\Deeper").c_str(), "n", 1);
  MakeKey(Sub("Empty").c_str());

  // REGEDIT4 (/a) holds the bytes as stored; the default, Unicode, dialect converts them
  // from code page 1252 and back. Both give every value back exactly.
  const std::string first = FilePath("first.reg"), second = FilePath("second.reg");
  ChildResult r = Tool({"reg", "export", kKey, first, "/a"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string text = ReadFile(first);
  for (const char* line : {
           "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\RegTest]\r\n",
           "\n@=\"unnamed\"\r\n",
           "\n\"Quote \\\"and\\\\ slash\"=\"C:\\\\Temp \\\"x\\\"\"\r\n",
           "\n\"Accent\"=\"caf\xE9\"\r\n",
           "\n\"NoZero\"=hex(1):61,62,63\r\n",
           "\n\"Count\"=dword:0000000a\r\n",
           "\n\"Short\"=hex(4):01,02\r\n",
           "\n\"Custom\"=hex(20):fe\r\n",
           "\n\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
           "  16,17,",
           "\n[HKEY_CURRENT_USER\\Software\\RegTest\\Sub\\Deeper]\r\n\"n\"=dword:00000001\r\n\r\n",
       }) {
    EXPECT_TRUE(Contains(text, line)) << line << "\nnot in\n" << text;
  }
  EXPECT_TRUE(Failed(Tool({"reg", "export", kKey, first}), 1, "exists; add /y"));

  for (const std::vector<std::string>& dialect :
       {std::vector<std::string>{"/a"}, {"/cp", "1252"}}) {
    std::vector<std::string> args = {"reg", "export", kKey, second, "/y"};
    args.insert(args.end(), dialect.begin(), dialect.end());
    ASSERT_EQ(0, Tool(args).status) << dialect[0];
    ASSERT_EQ(0, Tool({"reg", "delete", kKey, "/f"}).status);
    r = Tool({"reg", "import", second});
    ASSERT_EQ(0, r.status) << r.err;
    ASSERT_EQ(0, Tool({"reg", "export", kKey, second, "/y", "/a"}).status);
    EXPECT_EQ(text, ReadFile(second)) << dialect[0];
  }
#ifndef _WIN32  // the child's output comes back with its CRLF made LF on Windows
  EXPECT_EQ(text, Tool({"reg", "export", kKey, "-", "/a"}).out);
#endif
}

// The same file, written by Windows' reg.exe (Wine's) in UTF-16, imports here, reads
// back through the registry's 8-bit functions as Windows' registry answers them in code
// page 1252, and is written again byte for byte.
TEST_F(RegTest, AFileWrittenByRegExeReadsBackThroughThe8BitFunctions) {
  const std::string original = ReadFile(RUZIDE_TOOL_TEST_DATA "/regexe-unicode.reg");
  ASSERT_EQ("\xFF\xFEW", original.substr(0, 3));
  const std::string file = FilePath("regexe.reg"), again = FilePath("again.reg");
  WriteFile(file, original);
  ChildResult r = Tool({"reg", "import", file});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string key = Sub("Dialects");
  EXPECT_EQ(std::string("Cr\350me br\373l\351e, 10 \200", 19), Bytes(key, "Caf\351"));
  EXPECT_EQ(std::string("%USERPROFILE%\\B\374cher\\\214uvres", 28), Bytes(key, "Pfad"));
  EXPECT_EQ(std::string("Stra\337e\0\304rger\0", 14), Bytes(key, "Liste"));
  EXPECT_EQ(std::string("\0", 1), Bytes(key, "Leere Liste"));
  EXPECT_EQ(std::string("\0", 1), Bytes(key, "Empty"));
  EXPECT_EQ("", Bytes(key, "Leer bin\xE4r"));
  EXPECT_EQ("\x01\x02\x03", Bytes(key, "Eigen"));
  EXPECT_EQ(1, StoredInt((key + "\\\xDCnter").c_str(), "n"));
  EXPECT_TRUE(KeyThere((key + "\\Leer").c_str()));
  ASSERT_EQ(0, Tool({"reg", "export", kKey + "\\Dialects", again}).status);
  EXPECT_EQ(original, ReadFile(again));
}

// A code page per language, as the common tree keeps descriptions: /cp 936 is Chinese.
TEST_F(RegTest, CodePage936HoldsChineseAsTheProgramsReadIt) {
  const std::string file = FilePath("zh.reg");
  WriteFile(file, "Windows Registry Editor Version 5.00\n\n[" + kKey +
                      "]\n\"Language6\"=\"\xE4\xB8\xAD\xE6\x96\x87\"\n");
  ChildResult r = Tool({"reg", "import", file, "/cp", "936"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::string("\xD6\xD0\xCE\xC4", 5), Bytes(kSub, "Language6"));
  r = Tool({"reg", "export", kKey, "-", "/cp", "936"});
  EXPECT_TRUE(Contains(r.out, Utf16("\"Language6\"=\"").substr(2) + "\x2D\x4E\x87\x65")) << r.err;
  r = Tool({"reg", "export", kKey, "-"});
  EXPECT_EQ(0, r.status) << r.err;  // every byte is a character of 1252 too
  EXPECT_TRUE(Failed(Tool({"reg", "import", file}, {{"RUZIDE_CODEPAGE", "77777"}}), 1,
                     "code page 77777 is not known"));
#ifndef _WIN32  // the command line and the terminal are UTF-8
  ASSERT_EQ(0, Tool({"reg", "add", kKey, "/v", "\xE5\x90\x8D", "/d", "\xE4\xB8\xAD\xE6\x96\x87",
                     "/cp", "936"})
                   .status);
  EXPECT_EQ(std::string("\xD6\xD0\xCE\xC4", 5), Bytes(kSub, "\xC3\xFB"));
  EXPECT_EQ("\n" + kKey + "\n    Language6    REG_SZ    \xE4\xB8\xAD\xE6\x96\x87\n\n",
            Tool({"reg", "query", kKey, "/v", "Language6", "/cp", "936"}).out);
#endif
}

#ifdef _WIN32
// Windows' own reg.exe (Wine's) and ruzide.exe, in the one registry, each import what the
// other exported; each one's export of the result is the original file byte for byte.
TEST_F(RegTest, RegExeAndTheToolReadEachOthersFiles) {
  const char kRegExe[] = "C:\\windows\\system32\\reg.exe";
  const std::string key = kKey + "\\Dialects";
  const std::string original = ReadFile(RUZIDE_TOOL_TEST_DATA "/regexe-unicode.reg");
  const std::string file = FilePath("regexe.reg"), out = FilePath("out.reg");
  WriteFile(file, original);
  const auto both_export = [&](const char* after) {
    for (const std::string& program : {std::string(kRegExe), std::string(RUZIDE_TOOL_PATH)}) {
      std::vector<std::string> args = {program, "export", key, out, "/y"};
      if (program != kRegExe) args.insert(args.begin() + 1, "reg");
      const ChildResult r = ruzide::test::RunChild(args);
      ASSERT_EQ(0, r.status) << program << " after " << after << ": " << r.err;
      EXPECT_EQ(original, ReadFile(out)) << program << " after " << after;
    }
  };
  ASSERT_EQ(0, ruzide::test::RunChild({kRegExe, "import", file}).status);
  both_export("reg.exe's import");
  ASSERT_EQ(0, ruzide::test::RunChild({kRegExe, "delete", kKey, "/f"}).status);
  ASSERT_EQ(0, Tool({"reg", "import", file}).status);
  both_export("the tool's import");
  // The 8-bit dialect, which Windows reads in its ANSI code page.
  ASSERT_EQ(0, Tool({"reg", "export", key, file, "/y", "/a"}).status);
  ASSERT_EQ(0, ruzide::test::RunChild({kRegExe, "delete", kKey, "/f"}).status);
  ASSERT_EQ(0, ruzide::test::RunChild({kRegExe, "import", file}).status);
  both_export("reg.exe's import of the tool's REGEDIT4 export");
  ruzide::test::RunChild({kRegExe, "delete", kKey, "/f"});
}
#endif

// Deletes the key at `path` below HKEY_CURRENT_USER and everything below it.
void DeleteKeyTree(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  char name[512];
  for (DWORD size = sizeof name;
       RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       size = sizeof name) {
    DeleteKeyTree(path + "\\" + std::string(name, size));
  }
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

// Command lines as scripts written for Windows give them: each ends with reg.exe's exit
// status, and one that fails changes nothing. On Windows, Windows' own reg.exe (Wine's)
// runs each too, on the same key set up the same way: both end alike and leave the same
// registry behind, and a query prints the same text. Messages are another matter:
// reg.exe prints its errors, and a line on success, on standard output.
TEST_F(RegTest, TheToolAndRegExeAgreeOnTheSameCommandLines) {
  const std::string k = kKey + "\\Same";
#ifdef _WIN32
  const std::string e = "\xE9";  // the command line is in the ANSI code page, 1252
  const int first = 0;           // reg.exe, then the tool
#else
  const std::string e = "\xC3\xA9";  // the command line is UTF-8
  const int first = 1;               // only the tool
#endif
  const struct {
    int status;                     // reg.exe's exit status
    std::vector<std::string> args;  // K stands for the key
    // On failure what the tool's message says (" K" stands for the key); on success a line
    // of the key's Dump after, or with ! one that is gone. A query prints what reg.exe
    // prints, unless this says why not.
    std::string expect = "";
  } kCases[] = {
      {0, {"add", "K", "/v", "s", "/d", "text", "/f"}, "s 1 7465787400"},
      {0, {"add", "K", "/t", "REG_EXPAND_SZ", "/d", "%x%"}, "\n 2 25782500"},
      {0, {"add", "K", "/t", "REG_MULTI_SZ", "/d", "a\\0b\\0"}, "\n 7 6100620000"},
      {0, {"add", "K", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "x#y\\0"}, "\n 7 7800795c300000"},
      {0, {"add", "K", "/t", "REG_MULTI_SZ", "/d", "\\0"}, "\n 7 0000"},
      {0, {"add", "K", "/t", "REG_MULTI_SZ"}, "\n 7 00\n"},
      {1, {"add", "K", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, "empty string"},
      {1, {"add", "K", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "#a"}, "empty string"},
      {0, {"add", "K", "/t", "REG_NONE", "/d", "abc"}, "\n 0 6100620063000000"},
      {0, {"add", "K", "/v", "n", "/t", "reg_none"}, "n 0 0000"},
      {0, {"add", "K", "/t", "REG_NONE", "/d", "caf" + e}, "\n 0 630061006600e9000000"},
      {0, {"add", "K", "/t", "REG_MULTI_SZ", "/s", e, "/d", "a" + e + "b"}, "\n 7 6100620000"},
      {0, {"add", "K", "/t", "REG_BINARY", "/d", "0102abc"}, "\n 3 00102abc"},
      {0, {"add", "K", "/t", "REG_BINARY"}, "\n 3 \n"},
      {1, {"add", "K", "/t", "REG_BINARY", "/d", "0x01"}, "not hexadecimal"},
      {0, {"add", "K", "/t", "REG_DWORD", "/d", "0x1f"}, "\n 4 1f000000"},
      {0, {"add", "K", "/t", "REG_DWORD", "/d", "0123"}, "\n 4 7b000000"},
      {0, {"add", "K", "/t", "REG_DWORD", "/d", "4294967295"}, "\n 4 ffffffff"},
      {1, {"add", "K", "/t", "REG_DWORD", "/d", "4294967296"}, "not a number"},
      {1, {"add", "K", "/t", "REG_DWORD", "/d", "-1"}, "not a number"},
      {1, {"add", "K", "/t", "REG_DWORD"}, "REG_DWORD needs its number"},
      {0, {"add", "K", "/t", "REG_DWORD_LITTLE_ENDIAN", "/d", "5"}, "\n 4 05000000"},
      {0, {"add", "K", "/t", "REG_DWORD_BIG_ENDIAN", "/d", "0x12345678"}, "\n 5 78563412"},
      {0, {"add", "K", "/t", "REG_QWORD", "/d", "-1"}, "\n 11 ffffffffffffffff"},
      {0, {"add", "K", "/t", "REG_QWORD"}, "\n 11 0000000000000000"},
      {1, {"add", "K", "/t", "REG_LINK", "/d", "x"}, "unknown type 'REG_LINK'"},
      {1, {"add", "K", "/t", "REG_FOO", "/d", "x"}, "unknown type 'REG_FOO'"},
      {0, {"add", "K", "/f"}, "\n 1 00\n"},  // an empty unnamed value
      {0, {"add", "K\\New"}, "New]\n 1 00\n"},
      {0, {"add", "K", "/ve", "/d", "unnamed"}, "\n 1 756e6e616d656400"},
      {0, {"add", "K", "/v", "Str", "/t", "REG_SZ", "/d", "new", "/f"}, "Str 1 6e657700"},
      {1, {"add", "K", "/v", "s", "/ve"}, "only one of /v, /ve and /va"},
      {1, {"add", "K", "/v", "s", "/f", "/f"}, "option /f given twice"},
      {1, {"add", "K", "/t", "REG_MULTI_SZ", "/s", "ab"}, "/s takes one"},
      {1, {"add", "K\\\\", "/f"}, "invalid key name"},
      {1, {"add", "HKCU\\", "/v", "s", "/f"}, "invalid key name 'HKCU\\'"},
      {1, {"add", "K", "/Y"}, "reg add takes no option /Y"},
      {1, {"add", "K", "extra"}, "unexpected argument 'extra'"},
      {0, {"add", "K", "/v", "w", "/d", "x", "/reg:32", "/f"}, "w 1 7800"},  // HKCU is shared
      {1, {"add", "K", "/v", "w", "/reg:32", "/reg:64"}, "only one of /reg:32 and /reg:64"},
      {0, {"query", "K"}},
      {0, {"query", "K", "/v", "STR"}},
      {0, {"query", "K", "/ve"}},
      {0, {"query", "K\\Sub", "/ve"}},
      {0, {"query", "K", "/s"}},
      {0, {"query", "K\\Sub"}},
      {0, {"query", "K\\Sub", "/REG:64"}},
      {0, {"query", "K", "/v", "v", "/s"}, "the count's wording differs"},
      {1, {"query", "K", "/v", "Missing"}, "cannot find value 'Missing' in K: not found"},
      {1, {"query", "K\\Missing"}, "cannot read K\\Missing: not found"},
      {1, {"query", "K", "/v"}, "option /v needs an argument"},
      {1, {"query", "K", "/s", "/s"}, "option /s given twice"},
      {1, {"query"}, "usage: ruzide reg query"},
      {0, {"delete", "K", "/v", "STR", "/f"}, "!Str "},
      {1, {"delete", "K", "/ve", "/f"}, "unnamed value of K: not found"},
      {0, {"delete", "K\\Sub", "/ve", "/f"}, "!\n 1 6465657000"},
      {0, {"delete", "K", "/va", "/f"}, "v 1 3100"},  // the values below stay
      {0, {"delete", "K\\Sub", "/f"}, "Same\\Empty]"},
      {0, {"delete", "K", "/f"}, "!Same]"},
      {1, {"delete", "K\\Missing", "/f"}, "cannot delete K\\Missing: not found"},
      {1, {"delete", "K", "/v", "Missing", "/f"}, "value 'Missing' of K: not found"},
      {1, {"frobnicate"}, "unknown reg command 'frobnicate'"},
      {0, {"add", "/?"}},
  };
  const std::string sub = Sub("Same");
  const auto set_up = [&] {
    DeleteKeyTree(sub);
    PutString(sub.c_str(), "Str", "hello");
    PutInt(sub.c_str(), "Num", 10);
    Put(sub.c_str(), "Multi", REG_MULTI_SZ, "a\0b\0", 5);
    PutString(sub.c_str(), "Exp", "%PATH%", REG_EXPAND_SZ);
    Put(sub.c_str(), "Bin", REG_BINARY, "\x01\x02\xff", 3);
    Put(sub.c_str(), "None", REG_NONE, "", 0);
    Put(sub.c_str(), "Endian", REG_DWORD_BIG_ENDIAN, "\x04\x03\x02\x01", 4);
    PutString((sub + "\\Sub").c_str(), "", "deep");
    PutString((sub + "\\Sub").c_str(), "v", "1");
    MakeKey((sub + "\\Empty").c_str());
  };
  set_up();
  const std::string before = Dump(HKEY_CURRENT_USER, sub);
  const std::string input;  // no answers: neither may ask
  for (const auto& c : kCases) {
    std::string line;
    std::vector<std::string> args[2] = {{"C:\\windows\\system32\\reg.exe"},
                                        {RUZIDE_TOOL_PATH, "reg"}};
    for (const std::string& a : c.args) {
      line += " " + a;
      for (auto& program : args) program.push_back(a[0] == 'K' ? k + a.substr(1) : a);
    }
    ChildResult result[2];
    std::string after[2];
    for (int i = first; i < 2; ++i) {
      set_up();
      result[i] = ruzide::test::RunChild(args[i], {}, &input);
      after[i] = Dump(HKEY_CURRENT_USER, sub);
      EXPECT_EQ(c.status, result[i].status) << args[i][0] << line << "\n"
                                            << result[i].out << result[i].err;
      if (c.status != 0) {
        EXPECT_EQ(before, after[i]) << args[i][0] << line;  // a failure changes nothing
      }
    }
    const size_t at = c.expect.find(" K");
    const std::string expect = at == std::string::npos
                                   ? c.expect
                                   : c.expect.substr(0, at + 1) + k + c.expect.substr(at + 2);
    if (c.status != 0) {  // errors go to standard error
      EXPECT_TRUE(result[1].out.empty() && Contains(result[1].err, expect))
          << line << ": " << result[1].out << result[1].err;
    } else if (c.args[0] != "query") {  // a line there, or with ! one that is gone
      EXPECT_EQ(expect[0] != '!', Contains(after[1], expect.substr(expect[0] == '!')))
          << line << ":\n"
          << after[1];
    } else if (first == 0 && expect.empty()) {  // byte for byte: CRLF line ends too
      EXPECT_EQ(result[0].out_bytes, result[1].out_bytes) << line;
    }
    if (first == 0) {
      EXPECT_EQ(after[0], after[1]) << line;
    }
  }
  DeleteKeyTree(sub);
#ifdef _WIN32
  // The views are real on Windows: a 32-bit program's HKLM\Software is Wow6432Node in the
  // 64-bit view, where the tool and reg.exe both live.
  const std::string view = "HKLM\\Software\\RuzIdeTestView";
  const auto run = [&](std::vector<std::string> args) {
    return ruzide::test::RunChild(args, {}, &input).status;
  };
  const std::string reg_exe = "C:\\windows\\system32\\reg.exe";
  EXPECT_EQ(0, run({RUZIDE_TOOL_PATH, "reg", "add", view, "/v", "x", "/d", "1", "/reg:32", "/f"}));
  EXPECT_EQ(0, run({reg_exe, "query", "HKLM\\Software\\Wow6432Node\\RuzIdeTestView", "/v", "x"}));
  EXPECT_EQ(1, run({reg_exe, "query", view, "/reg:64"}));
  EXPECT_EQ(0, run({RUZIDE_TOOL_PATH, "reg", "delete", view, "/reg:32", "/f"}));
  EXPECT_EQ(1, run({reg_exe, "query", view, "/reg:32"}));
#endif
}

TEST_F(RegTest, ImportAppliesAWellFormedFileInOrder) {
  PutString(Sub("Old\\Inner").c_str(), "x", "1");
  PutString(kSub, "Gone", "1");
  PutString(kSub, "Kept", "1");
  const std::string file = FilePath("in.reg");
  WriteFile(file,
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
            "\r\n"
            "; a comment that ends in a backslash \\\r\n"
            "[-hkcu\\Software\\RegTest\\Old]\r\n"
            "[HKCU\\Software\\RegTest\\New]\r\n"
            "\"Blob\" = hex:01,\\\r\n"
            "    02 , 03\r\n"
            "\"\"=\"unnamed\"\r\n"
            "[HKEY_CURRENT_USER\\Software\\RegTest]\r\n"
            "\"Gone\"=-\r\n"
            "\"Missing\"=-\r\n"
            "\"Kept\"=DWORD:7\r\n");
  const ChildResult r = Tool({"reg", "import", file});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_FALSE(KeyThere(Sub("Old").c_str()));
  EXPECT_EQ("\x01\x02\x03", Bytes(Sub("New"), "Blob"));
  EXPECT_EQ(std::string("unnamed", 8), Bytes(Sub("New"), ""));
  EXPECT_FALSE(ValueThere(kSub, "Gone"));
  EXPECT_EQ(7, StoredInt(kSub, "Kept"));
}

// With /strict a file with any malformed line changes nothing; each case is one such line.
TEST_F(RegTest, StrictImportRefusesAMalformedFileNamingTheLineAndChangesNothing) {
  const std::string head =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\RegTest\\Bad]\n"
      "\"fine\"=dword:00000001\n";
  const struct {
    std::string text;
    int line;
    const char* reason;
  } kCases[] = {
      {"REGEDIT3\n", 1, "the first line must be the header"},
      {"; c\n" + head, 1, "the first line must be the header"},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n", 2, "before the first [key]"},
      {head + "\"v\"=dword:123456789\n", 5, "1 to 8 hexadecimal digits"},
      {head + "\"v\"=\"unterminated\n", 5, "no closing quote"},
      {head + "\"v\"=\"a\\q\"\n", 5, "must be followed by \\ or \""},
      {head + "\"v\"=\"a\" junk\n", 5, "unexpected text after the data"},
      {head + "\"v\"=hex:01,,02\n", 5, "expected a hexadecimal byte"},
      {head + "\"v\"=hex:01,\\\n  02,\n", 5, "ends with a comma"},
      // Only hex data goes on over lines: a continued dword: is no number.
      {head + "\"v\"=dword:0000\\\n0001\n", 5, "only hex data goes on over lines"},
      {head + "\"v\"=hex:01,\\\n[HKCU\\X]\n", 5, "but line 6 is not hex data"},
      // Files cut short: the last value's data is incomplete, though what is left parses.
      {head + "\"v\"=hex:01,\\\n  02,\\\n", 5, "value 'v' is incomplete"},
      {head + "@=hex:01,02,0", 5, "the unnamed value is incomplete"},
      {head + "\"v\"=hex(7:00\n", 5, "hex( must be followed by"},
      {head + "v=1\n", 5, "a value name in double quotes"},
      {head + "\"v\"=1\n", 5, "expected \"string\", dword:"},
      {head + "[HKEY_CLASSES_ROOT\\X]\n", 5, "does not start with HKEY_CURRENT_USER"},
      {head + "[HKCU\\X\n", 5, "must end with ]"},
      {head + "[-HKCU]\n", 5, "a root cannot be deleted"},
      {head + "[-HKCU\\X]\n\"v\"=-\n", 6, "under a key that is deleted"},
      // Text the code page (1252 by default) does not have, and bad UTF-16 or UTF-8.
      {head + "\"v\"=\"\xE4\xB8\xAD\"\n", 5,
       "value 'v' of HKEY_CURRENT_USER\\Software\\RegTest\\Bad: the string holds a character "
       "code page 1252 does not have"},
      {head + "\"v\"=hex(2):41,00,4e\n", 5, "UTF-16 here, but has an odd number of bytes"},
      {Utf16(head) + "\x41", 5, "odd number of bytes"},
      {Utf16(head) + std::string("\x22\x00\x00\xD8\x22\x00", 6), 5,
       "unpaired UTF-16 surrogate (D800)"},
      {"\xFF\xFE" + head, 1, "byte order mark, but its text is not UTF-16"},
      {"\xEF\xBB\xBF" + head + "\"v\"=\"\xE9\"\n", 5,
       "byte order mark, but this line is not UTF-8"},
  };
  const std::string file = FilePath("bad.reg");
  for (const auto& c : kCases) {
    WriteFile(file, c.text);
    const ChildResult r = Tool({"reg", "import", file, "/strict"});
    EXPECT_TRUE(Failed(r, 1, c.reason));
    EXPECT_TRUE(Contains(r.err, file + ":" + std::to_string(c.line) + ": ")) << r.err;
    EXPECT_TRUE(Contains(r.err, "; nothing was imported")) << r.err;
  }
  EXPECT_FALSE(KeyThere(Sub("Bad").c_str()));
}

// Without /strict, as Windows' reg does, malformed lines are skipped and the rest is
// imported, but each skipped line is named; a malformed key line takes its values along.
TEST_F(RegTest, ImportSkipsAndNamesMalformedLinesAndAppliesTheRest) {
  const std::string file = FilePath("mixed.reg");
  WriteFile(file, Utf16("Windows Registry Editor Version 5.00\r\n"
                        "\r\n"
                        "[HKEY_CURRENT_USER\\Software\\RegTest]\r\n"
                        "\"a\"=dword:1 ; a comment\r\n"
                        "\"b\"=dword:12\\\r\n"  // 5: continued dword
                        "34\r\n"                // 6: not a line
                        "\"c\"=hex:01,\\\r\n"
                        "\r\n"
                        "  02\r\n"                                        // 9
                        "[HKEY_CURRENT_USER\\Software\\RegTest\\Bad\r\n"  // 10: no ]
                        "\"d\"=\"x\"\r\n"                                 // 11: under it
                        "[HKCU\\Software\\RegTest\\Good]\r\n"
                        "\"e\"=\"y\"\r\n"));
  EXPECT_TRUE(Failed(Tool({"reg", "import", file, "/strict"}), 1,
                     "4 lines are malformed; nothing was imported"));
  EXPECT_FALSE(KeyThere(kSub));

  const ChildResult r = Tool({"reg", "import", file});
  EXPECT_EQ(0, r.status) << r.err;  // as Windows' reg answers
  EXPECT_EQ(1, StoredInt(kSub, "a"));
  EXPECT_EQ("\x01\x02", Bytes(kSub, "c"));
  EXPECT_EQ(std::string("y", 2), Bytes(Sub("Good"), "e"));
  EXPECT_FALSE(ValueThere(kSub, "b"));
  EXPECT_FALSE(KeyThere(Sub("Bad").c_str()));
  for (const char* line :
       {":5: only hex data goes on over lines", ":6: expected [key]",
        ":10: a key line must end with ]", ":11: a value under a malformed key line; skipped"}) {
    EXPECT_TRUE(Contains(r.err, file + line)) << line << ": " << r.err;
  }
  EXPECT_TRUE(Contains(r.err, "4 malformed lines skipped; the rest was imported")) << r.err;
#ifndef _WIN32  // where text mode makes line ends CRLF
  EXPECT_FALSE(Contains(r.err, "\r")) << "a progress line where there is no terminal";
#else
  // Windows' reg (Wine's) skips the same lines, without a word, and answers 0 too; but it
  // sets the value under the key line without its ] in the key before it.
  ASSERT_EQ(0, Tool({"reg", "delete", kKey, "/f"}).status);
  EXPECT_EQ(0, ruzide::test::RunChild({"C:\\windows\\system32\\reg.exe", "import", file}).status);
  EXPECT_EQ(1, StoredInt(kSub, "a"));
  EXPECT_EQ("\x01\x02", Bytes(kSub, "c"));
  EXPECT_EQ(std::string("y", 2), Bytes(Sub("Good"), "e"));
  EXPECT_FALSE(ValueThere(kSub, "b"));
  EXPECT_EQ(std::string("x", 2), Bytes(kSub, "d"));
#endif
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)  // sanitizers hold memory back
// A file is read a line at a time: /strict's first pass over a 15 MB UTF-16 file (which
// ends in a malformed line, so that nothing else runs) needs no more memory than a small
// one. Read whole, as a copy and a decoded copy, it took some 100 MB.
TEST_F(RegTest, ImportReadsAFileInMemoryThatDoesNotGrowWithIt) {
  const std::string file = FilePath("big.reg");
  {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[" + kKey + "]\r\n";
    for (int i = 0; i < 250000; ++i)
      text += "\"Value" + std::to_string(i) + "\"=dword:0000002a\r\n";
    WriteFile(file, Utf16(text + "\"Last\"=dword:\r\n"));
  }
  // Measured by time(1), whose child the tool is: a child of the test would be counted
  // with the test's own memory, which it shares until its exec.
  const char kTime[] = "/usr/bin/time";
  if (access(kTime, X_OK) != 0) GTEST_SKIP() << "needs " << kTime;
  const std::string peak = FilePath("peak");
  const ChildResult r = ruzide::test::RunChild(
      {kTime, "-f", "%M", "-o", peak, RUZIDE_TOOL_PATH, "reg", "import", file, "/strict"});
  EXPECT_TRUE(Failed(r, 1, file + ":250004: dword: must be followed by"));
  std::istringstream report(ReadFile(peak));  // "Command exited with ... 1", then kB
  std::string kilobytes;
  while (report >> kilobytes) {
  }
  EXPECT_LT(std::stol("0" + kilobytes), 16 * 1024) << report.str();
  std::remove(file.c_str());
}
#endif

#ifndef _WIN32
// A full disk: export fails, saying so, and the file it was to replace stays whole, with
// nothing left beside it. Needs root, to mount a small file system of its own.
TEST_F(RegTest, ExportOntoAFullDiskLeavesTheOldFileWhole) {
  const std::string disk = FilePath("disk");
  std::filesystem::create_directory(disk);
  if (geteuid() != 0 || mount("ruzide-test", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "needs root to mount a tmpfs";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{disk};
  PutString(kSub, "v", "old");
  const std::string file = disk + "/out.reg";
  ASSERT_EQ(0, Tool({"reg", "export", kKey, file}).status);
  const std::string old = ReadFile(file);
  const std::string blob(100000, 'x');  // some 300 KB as hex
  Put(kSub, "Blob", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));

  EXPECT_TRUE(Failed(Tool({"reg", "export", kKey, file, "/y"}), 1,
                     "cannot write " + file + ": No space left on device"));
  EXPECT_EQ(old, ReadFile(file));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(disk), {}));
}
#endif

}  // namespace
