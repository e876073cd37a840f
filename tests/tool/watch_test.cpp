// `ruzide reg watch` and `ruzide settings monitor`, run as child processes that print as
// changes come: one line for each change, none for a write of the data already there,
// and exit status 0 on Ctrl-C. Off Windows only, where the test can interrupt the tool.
#ifndef _WIN32
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/library/LibraryStoreTest.h"

namespace {

// The tool, started with `args`, with its output read line by line.
class Running {
 public:
  explicit Running(std::vector<std::string> args) {
    args.insert(args.begin(), RUZIDE_TOOL_PATH);
    int ends[2];
    if (pipe(ends) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(ends[1], 1);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(&arg[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(ends[1]);
    out_ = ends[0];
  }
  ~Running() {
    if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    close(out_);
  }

  // The next line it prints, or "" when none comes within `millis`.
  std::string Line(int millis = 10000) {
    for (;;) {
      size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      pollfd ready = {out_, POLLIN, 0};
      char chunk[512];
      ssize_t got = 0;
      if (poll(&ready, 1, millis) != 1 || (got = read(out_, chunk, sizeof chunk)) <= 0) return "";
      buffer_.append(chunk, got);
    }
  }
  // Repeats `change` until the tool reports one, so that it is known to be watching.
  void Synchronise(const std::function<void(int)>& change) {
    for (int i = 1; i < 100 && Line(0).empty(); ++i) {
      change(i);
      if (!Line(200).empty()) return;
    }
  }
  // Interrupts it as Ctrl-C does and returns its exit status.
  int Interrupt() {
    kill(pid_, SIGINT);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

// Whether `line` is "<date> <time>  <rest>".
bool Reports(const std::string& line, const std::string& rest) {
  return line.size() > 25 && line.compare(25, std::string::npos, rest) == 0;
}

using WatchToolTest = LibraryStoreTest;

TEST_F(WatchToolTest, RegWatchPrintsEachChangeOnceAndEndsWithZero) {
  const std::string key = "HKEY_CURRENT_USER\\Software\\Watched";
  MakeKey("Software\\Watched");
  Running tool({"reg", "watch", key, "/s"});
  tool.Synchronise([](int i) { PutInt("Software\\Watched", "probe", i); });
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
  EXPECT_EQ(0, tool.Interrupt());
}

TEST_F(WatchToolTest, SettingsMonitorPrintsOldAndNewValues) {
  Running tool({"settings", "monitor"});
  tool.Synchronise([](int i) { PutInt(kRegional.c_str(), "Date", i % 2); });
  PutInt(kRegional.c_str(), "Date", 1);
  PutInt(kRegional.c_str(), "Date", 1);  // the same again: nothing
  PutInt(kRegional.c_str(), "Time", 1);
  std::string line = tool.Line();
  if (line == "Regional.Date: 0 -> 1") line = tool.Line();  // the probe left it at 0
  EXPECT_EQ("Regional.Time: 0 -> 1", line);
  EXPECT_EQ(0, tool.Interrupt());
}

}  // namespace
#endif  // !_WIN32
