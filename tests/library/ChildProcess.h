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

}  // namespace test
}  // namespace ruzide

#endif  // RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_
