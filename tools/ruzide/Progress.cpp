#include "Progress.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ruzide {
namespace tool {

namespace {

constexpr uint64_t kMegabyte = 1 << 20;
// Jobs smaller than this are done in about a second: no line.
constexpr uint64_t kShownFrom = 4 * kMegabyte;

}  // namespace

Progress::Progress(FILE* out, std::string what, uint64_t total)
    : out_(out), what_(std::move(what)), total_(total), terminal_(isatty(fileno(out)) != 0) {
  if (total_ != 0 && total_ < kShownFrom) terminal_ = false;
  next_ = total_ == 0 ? kShownFrom : 0;
}

Progress::~Progress() { Clear(); }

void Progress::Update(uint64_t done) {
  if (!terminal_ || done < next_) return;
  next_ = done + kMegabyte;  // a redraw per megabyte costs nothing
  char line[160];
  const unsigned long long mb = done / kMegabyte;
  int size;
  if (total_ == 0) {
    size = snprintf(line, sizeof line, "\r%s: %llu MB", what_.c_str(), mb);
  } else {
    const unsigned long long percent = done >= total_ ? 100 : done * 100 / total_;
    size = snprintf(line, sizeof line, "\r%s: %llu%% (%llu of %llu MB)", what_.c_str(), percent, mb,
                    static_cast<unsigned long long>(total_ / kMegabyte));
  }
  if (size <= 1) return;
  const size_t width = std::min(static_cast<size_t>(size), sizeof line - 1) - 1;
  // A shorter line than the last leaves nothing of it behind: the counts only grow.
  fputs(line, out_);
  fflush(out_);
  shown_ = width;
}

void Progress::Clear() {
  if (shown_ == 0) return;
  fprintf(out_, "\r%*s\r", static_cast<int>(shown_), "");
  fflush(out_);
  shown_ = 0;
  next_ = 0;
}

}  // namespace tool
}  // namespace ruzide
