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

// A run of the tool and what it must end with: its status, all of standard output (or, after
// a leading '~', a part of it) and a part of standard error. `input`, when given, is its
// standard input.
struct ToolRun {
  std::vector<std::string> args;
  int status = 0;
  std::string out = "~";
  std::string err = "";
  const char* input = nullptr;
};

// Runs each of `runs` in turn, in the test's environment with `env` on top.
inline void ExpectRuns(const std::vector<ToolRun>& runs,
                       const std::vector<std::pair<std::string, std::string>>& env = {}) {
  for (const ToolRun& run : runs) {
    std::string line;
    for (const std::string& arg : run.args) line += " " + arg;
    const std::string input = run.input ? run.input : "";
    const ruzide::test::ChildResult r = Tool(run.args, env, run.input ? &input : nullptr);
    EXPECT_EQ(run.status, r.status) << line << ": " << r.err;
    if (run.out[0] == '~') {
      EXPECT_TRUE(Contains(r.out, run.out.substr(1))) << line << ": " << run.out << "\nnot in\n"
                                                      << r.out;
    } else {
      EXPECT_EQ(run.out, r.out) << line;
    }
    EXPECT_TRUE(Contains(r.err, run.err)) << line << ": " << run.err << "\nnot in\n" << r.err;
  }
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
