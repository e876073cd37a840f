// Runs the built ruzide tool as a child process, in the test's environment (and so on its
// store folder), for the tool's tests.
#ifndef RUZIDE_TESTS_TOOL_RUNTOOL_H_
#define RUZIDE_TESTS_TOOL_RUNTOOL_H_

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/library/ChildProcess.h"

inline ruzide::test::ChildResult Tool(
    std::vector<std::string> args, const std::vector<std::pair<std::string, std::string>>& env = {},
    const std::string* input = nullptr) {
  args.insert(args.begin(), RUZIDE_TOOL_PATH);
  return ruzide::test::RunChild(args, env, input);
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whether the tool ended with `status` and said `reason` on standard error; for
// EXPECT_TRUE, which then shows what it did instead.
inline ::testing::AssertionResult Failed(const ruzide::test::ChildResult& r, int status,
                                         const std::string& reason) {
  if (r.status == status && Contains(r.err, reason)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "wanted status " << status << " and '" << reason
                                       << "', got status " << r.status << ": " << r.err;
}

// The whitespace-separated fields of the line of `text` whose first or second field is
// `name`, from that field on.
inline std::vector<std::string> Row(const std::string& text, const std::string& name) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string f; fields >> f;) row.push_back(f);
    for (size_t i = 0; i < 2 && i < row.size(); ++i) {
      if (row[i] == name) return std::vector<std::string>(row.begin() + i, row.end());
    }
  }
  return {};
}

#endif  // RUZIDE_TESTS_TOOL_RUNTOOL_H_
