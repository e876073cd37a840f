// A progress line for a long job over a file, on a terminal.
#ifndef RUZIDE_TOOLS_RUZIDE_PROGRESS_H_
#define RUZIDE_TOOLS_RUZIDE_PROGRESS_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace ruzide {
namespace tool {

// Shows on `out` how far a job over `total` bytes (0: not known) has got, "what: 45% (46
// of 102 MB)" or "what: 46 MB", rewritten in place and cleared when the object goes.
// Shows nothing when `out` is not a terminal, nor for a job of a few megabytes, which
// ends before a line would help.
class Progress {
 public:
  Progress(FILE* out, std::string what, uint64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` bytes of the job are done.
  void Update(uint64_t done);
  // Takes the line away, for a message to be written in its place; the next Update
  // draws it again.
  void Clear();

 private:
  FILE* out_;
  std::string what_;
  uint64_t total_;
  bool terminal_;
  uint64_t next_ = 0;  // the next count of bytes at which the line is drawn
  size_t shown_ = 0;   // the width of the line on the terminal, 0 when there is none
};

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_PROGRESS_H_
