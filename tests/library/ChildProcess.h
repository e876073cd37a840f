// Runs a program as a child process and collects what it printed, for tests of the built
// library and tool.
#ifndef RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_
#define RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_

#include <string>
#include <utility>
#include <vector>

namespace ruzide {
namespace test {

struct ChildResult {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
  std::string out_bytes;  // `out` as written, line ends and all
};

// Runs argv[0] with the arguments argv[1..] in this process's environment with each of
// `env` set on top (an empty value unsets the variable), and waits for it; its standard
// input is `input` when given, else this process's. On Windows the "\r\n" line ends of
// text-mode output come back as "\n", but for `out_bytes`.
ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& env = {},
                     const std::string* input = nullptr);

#ifndef _WIN32
// A program started with argv[0] and the arguments argv[1..], in this process's
// environment with each of `env` set on top, and left running while the test reads its
// standard output as it comes. If it still runs when this goes, it is killed.
class RunningChild {
 public:
  explicit RunningChild(const std::vector<std::string>& argv,
                        const std::vector<std::pair<std::string, std::string>>& env = {});
  ~RunningChild();
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;

  // The next line it prints, without its end, or "" when none comes within `millis`.
  std::string Line(int millis = 10000);
  // Sends it `signal` (none if 0), waits for it to end and returns its exit status, or -1
  // if it did not exit normally.
  int Wait(int signal = 0);

 private:
  int pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};
#endif

}  // namespace test
}  // namespace ruzide

#endif  // RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_
