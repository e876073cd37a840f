// A forked child process and a pipe that carries numbers between processes, for the
// tests of processes sharing the store, and a way for a child to stop being root.
#ifndef RUZIDE_TESTS_STORE_CHILDPROCESS_H_
#define RUZIDE_TESTS_STORE_CHILDPROCESS_H_

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

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

// Makes this process, if it runs as root, whom file modes do not stop, the user nobody;
// false if that failed.
inline bool LeaveRoot() {
  return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
}

#endif  // RUZIDE_TESTS_STORE_CHILDPROCESS_H_
