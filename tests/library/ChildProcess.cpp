#include "tests/library/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace ruzide {
namespace test {

namespace {

// `text` as one shell word.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& env) {
  char err_path[] = "/tmp/ruzide-child-XXXXXX";
  const int err_fd = mkstemp(err_path);
  if (err_fd < 0) return {};
  close(err_fd);
  std::string command = "env";
  for (const auto& [name, value] : env) {
    command += value.empty() ? " -u " + Quote(name) : " " + Quote(name + "=" + value);
  }
  for (const std::string& arg : argv) command += " " + Quote(arg);
  command += " 2>" + Quote(err_path);

  ChildResult result;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::ostringstream err;
  err << std::ifstream(err_path).rdbuf();
  result.err = err.str();
  unlink(err_path);
  return result;
}

}  // namespace test
}  // namespace ruzide
