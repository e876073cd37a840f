// Runs the built ruzide tool as a child process, in the test's environment (and so on its
// store folder), for the tool's tests.
#ifndef RUZIDE_TESTS_TOOL_RUNTOOL_H_
#define RUZIDE_TESTS_TOOL_RUNTOOL_H_

#include <string>
#include <utility>
#include <vector>

#include "tests/library/ChildProcess.h"

inline ruzide::test::ChildResult Tool(
    std::vector<std::string> args,
    const std::vector<std::pair<std::string, std::string>>& env = {},
    const std::string* input = nullptr) {
  args.insert(args.begin(), RUZIDE_TOOL_PATH);
  return ruzide::test::RunChild(args, env, input);
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

#endif  // RUZIDE_TESTS_TOOL_RUNTOOL_H_
