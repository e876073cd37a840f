// Child processes for the tests: a program run to its end with what it printed collected
// (RunChild), or left running while its output is read (RunningChild); and, off Windows,
// a forked function (Child), a pipe that carries numbers between processes (Pipe), and a
// way for a child to stop being root (LeaveRoot).
#ifndef RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_
#define RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_

#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>

// A child process that runs `body` and exits with its result.
class Child {
 public:
  explicit Child(const std::function<int()>& body) : pid_(fork()) {
    if (pid_ == 0) _exit(body());
  }
  ~Child() { Kill(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Its exit status, or -1 if it did not exit normally.
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t pid() const { return pid_; }
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    Wait();
  }

 private:
  pid_t pid_;
};

// Numbers from one process to another.
class Pipe {
 public:
  Pipe() {
    if (pipe(ends_) != 0) ends_[0] = ends_[1] = -1;
  }
  ~Pipe() {
    close(ends_[0]);
    CloseSendingEnd();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  void Send(int number) {
    if (write(ends_[1], &number, sizeof number) != sizeof number) _exit(9);
  }
  // The next number, or -1 once every sending end is closed.
  int Receive() {
    int number;
    return read(ends_[0], &number, sizeof number) == sizeof number ? number : -1;
  }
  // Whether every sending end is closed and nothing is left to receive.
  bool Ended() {
    pollfd end = {ends_[0], POLLIN, 0};
    return poll(&end, 1, 0) == 1 && (end.revents & POLLIN) == 0;
  }
  void CloseSendingEnd() {
    if (ends_[1] >= 0) close(ends_[1]);
    ends_[1] = -1;
  }

 private:
  int ends_[2];
};

// A second process, forked at construction, that serves requests: for each number Ask
// sends it runs `serve` and sends back the text that returns. Forked before a test fills
// this process's caches, it has caches and connections of its own.
class Peer {
 public:
  explicit Peer(const std::function<std::string(int)>& serve)
      : child_([this, serve] {
          for (int request; (request = ask_.Receive()) > 0;) {
            const std::string text = serve(request);
            answer_.Send(static_cast<int>(text.size()));
            for (char c : text) answer_.Send(c);
          }
          return 0;
        }) {}
  // What the peer answers to `request` (a positive number).
  std::string Ask(int request) {
    ask_.Send(request);
    std::string text(std::max(answer_.Receive(), 0), '\0');
    for (char& c : text) c = static_cast<char>(answer_.Receive());
    return text;
  }
  // Ends the peer; its exit status.
  int Finish() {
    ask_.Send(0);
    return child_.Wait();
  }

 private:
  Pipe ask_, answer_;
  Child child_;  // forked last: the pipes are open by then
};

// Makes this process, if it runs as root, whom file modes do not stop, the user nobody;
// false if that failed.
inline bool LeaveRoot() {
  return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
}
#endif

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
  int out_ = -1;
  std::string buffer_;
  std::unique_ptr<Child> child_;
};
#endif

}  // namespace test
}  // namespace ruzide

#endif  // RUZIDE_TESTS_LIBRARY_CHILDPROCESS_H_
