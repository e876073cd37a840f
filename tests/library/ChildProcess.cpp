#include "tests/library/ChildProcess.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>

#include <map>
#else
#include <poll.h>
#include <sys/wait.h>
#endif

namespace ruzide {
namespace test {

namespace {

std::string ReadWhole(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

#ifdef _WIN32

// The text a program wrote in text mode, with its line ends back to "\n".
std::string WithUnixLineEnds(std::string text) {
  size_t kept = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') text[kept++] = text[i];
  }
  text.resize(kept);
  return text;
}

// `text` as one argument of a command line, as the runtime's argument parser splits it.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  return out.append(backslashes * 2, '\\') + "\"";
}

// This process's environment with `env` applied, as CreateProcess takes it: sorted
// "NAME=value" strings, each ended by a zero, and one more zero at the end.
std::string Environment(const std::vector<std::pair<std::string, std::string>>& env) {
  std::map<std::string, std::string> variables;
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; *entry; entry += strlen(entry) + 1) {
    const char* eq = strchr(entry + 1, '=');  // names of drive variables start with '='
    if (eq) variables[std::string(entry, eq)] = eq + 1;
  }
  FreeEnvironmentStringsA(block);
  for (const auto& [name, value] : env) {
    if (value.empty()) variables.erase(name);
    if (!value.empty()) variables[name] = value;
  }
  std::string out;
  for (const auto& [name, value] : variables) out += name + "=" + value + '\0';
  return out + '\0';
}

// A new file for the child's output that the child inherits.
HANDLE OutputFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

#else

// `text` as one shell word.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

#endif

}  // namespace

#ifdef _WIN32

ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     const std::string* input) {
  char folder[MAX_PATH], out_path[MAX_PATH], err_path[MAX_PATH], in_path[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  GetTempFileNameA(folder, "rzo", 0, out_path);
  GetTempFileNameA(folder, "rze", 0, err_path);
  GetTempFileNameA(folder, "rzi", 0, in_path);
  if (input != nullptr) std::ofstream(in_path, std::ios::binary) << *input;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input == nullptr ? GetStdHandle(STD_INPUT_HANDLE)
                                       : CreateFileA(in_path, GENERIC_READ, FILE_SHARE_READ,
                                                     &inherit, OPEN_EXISTING, 0, nullptr);
  startup.hStdOutput = OutputFile(out_path);
  startup.hStdError = OutputFile(err_path);
  std::string command;
  for (const std::string& arg : argv) command += (command.empty() ? "" : " ") + Quote(arg);
  std::string environment = Environment(env);
  PROCESS_INFORMATION process = {};
  ChildResult result;
  // A start that fails is tried once more: the program never ran, so nothing a test checks
  // has happened. If both fail, the reason goes to the standard error the test reports.
  bool started = false;
  DWORD start_error = 0;
  for (int attempt = 0; attempt < 2 && !started; ++attempt) {
    started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, environment.data(),
                             nullptr, &startup, &process) != 0;
    if (!started) start_error = GetLastError();
  }
  if (started) {
    DWORD status = 0;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    result.status = static_cast<int>(status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  if (input != nullptr) CloseHandle(startup.hStdInput);
  DeleteFileA(in_path);
  result.out_bytes = ReadWhole(out_path);
  result.out = WithUnixLineEnds(result.out_bytes);
  result.err = WithUnixLineEnds(ReadWhole(err_path));
  if (!started) result.err += "CreateProcess failed: error " + std::to_string(start_error) + "\n";
  DeleteFileA(out_path);
  DeleteFileA(err_path);
  return result;
}

#else

ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     const std::string* input) {
  char err_path[] = "/tmp/ruzide-child-XXXXXX";
  char in_path[] = "/tmp/ruzide-child-XXXXXX";
  const int err_fd = mkstemp(err_path);
  if (err_fd < 0) return {};
  close(err_fd);
  const int in_fd = input == nullptr ? -1 : mkstemp(in_path);
  if (in_fd >= 0) {
    std::ofstream(in_path, std::ios::binary) << *input;
    close(in_fd);
  }
  std::string command = "env";
  for (const auto& [name, value] : env) {
    command += value.empty() ? " -u " + Quote(name) : " " + Quote(name + "=" + value);
  }
  for (const std::string& arg : argv) command += " " + Quote(arg);
  command += " 2>" + Quote(err_path);
  if (in_fd >= 0) command += " <" + Quote(in_path);

  ChildResult result;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  result.out_bytes = result.out;
  result.err = ReadWhole(err_path);
  unlink(err_path);
  if (in_fd >= 0) unlink(in_path);
  return result;
}

RunningChild::RunningChild(const std::vector<std::string>& argv,
                           const std::vector<std::pair<std::string, std::string>>& env) {
  int ends[2];
  if (pipe(ends) != 0) return;
  child_ = std::make_unique<Child>([&] {
    dup2(ends[1], STDOUT_FILENO);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    return 127;
  });
  close(ends[1]);
  out_ = ends[0];
}

RunningChild::~RunningChild() {
  child_.reset();  // killed if it still runs
  close(out_);
}

std::string RunningChild::Line(int millis) {
  for (;;) {
    const size_t end = buffer_.find('\n');
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

int RunningChild::Wait(int signal) {
  if (!child_) return -1;
  if (signal != 0 && child_->pid() > 0) kill(child_->pid(), signal);
  return child_->Wait();
}

#endif

}  // namespace test
}  // namespace ruzide
