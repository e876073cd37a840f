// `ruzide reg watch` and `ruzide settings monitor`, run as child processes that print as
// changes come: one line for each change, none for a write of the data already there,
// and exit status 0 on Ctrl-C. Off Windows only, where the test can interrupt the tool.
#ifndef _WIN32
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/library/ChildProcess.h"
#include "tests/library/LibraryStoreTest.h"

namespace {

using ruzide::test::RunningChild;

// Repeats `change` until the tool reports one, so that it is known to be watching.
void Synchronise(RunningChild& tool, const std::function<void(int)>& change) {
  for (int i = 1; i < 100 && tool.Line(0).empty(); ++i) {
    change(i);
    if (!tool.Line(200).empty()) return;
  }
}

// Whether `line` is "<date> <time>  <rest>".
bool Reports(const std::string& line, const std::string& rest) {
  return line.size() > 25 && line.compare(25, std::string::npos, rest) == 0;
}

using WatchToolTest = LibraryStoreTest;

TEST_F(WatchToolTest, RegWatchPrintsEachChangeOnceAndEndsWithZero) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\Watched";
  MakeKey("Software\\Watched");
  RunningChild tool({RUZIDE_TOOL_PATH, "reg", "watch", key, "/s"});
  Synchronise(tool, [](int i) { PutInt("Software\\Watched", "probe", i); });
  PutString("Software\\Watched", "Name", "first");
  EXPECT_TRUE(Reports(tool.Line(), key + "  Name  REG_SZ  first"));
  PutString("Software\\Watched", "Name", "first");  // the same again: nothing
  PutInt("Software\\Watched\\Sub", "n", 5);
  EXPECT_TRUE(Reports(tool.Line(), key + "\\Sub  (key created)"));
  EXPECT_TRUE(Reports(tool.Line(), key + "\\Sub  n  REG_DWORD  0x5"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Watched\\Sub"));
  EXPECT_TRUE(Reports(tool.Line(), key + "\\Sub  (key deleted)"));
  HKEY watched = CreateKey(HKEY_CURRENT_USER, "Software\\Watched");
  RegDeleteValueA(watched, "Name");
  RegCloseKey(watched);
  EXPECT_TRUE(Reports(tool.Line(), key + "  Name  (value deleted)"));
  EXPECT_EQ(0, tool.Wait(SIGINT));
}

TEST_F(WatchToolTest, SettingsMonitorPrintsOldAndNewValues) {
  RunningChild tool({RUZIDE_TOOL_PATH, "settings", "monitor"});
  Synchronise(tool, [](int i) { PutInt(kRegional.c_str(), "Date", i % 2); });
  PutInt(kRegional.c_str(), "Date", 1);
  PutInt(kRegional.c_str(), "Date", 1);  // the same again: nothing
  PutInt(kRegional.c_str(), "Time", 1);
  std::string line = tool.Line();
  if (line == "Regional.Date: 0 -> 1") line = tool.Line();  // the probe left it at 0
  EXPECT_EQ("Regional.Time: 0 -> 1", line);
  EXPECT_EQ(0, tool.Wait(SIGINT));
}

}  // namespace
#endif  // !_WIN32
