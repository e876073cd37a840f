// Sleeping on a 32-bit word and waking its sleepers, across processes: the word may lie in
// a file mapped shared, where the kernel finds every process's sleepers by the file.
#ifndef RUZIDE_PLATFORM_REGISTRY_FUTEX_H_
#define RUZIDE_PLATFORM_REGISTRY_FUTEX_H_

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace ruzide::registry {

// Sleeps while `*word` is `seen`, for `nanos` at most, or without end when it is negative.
// Returns false only if the sleep ran its time; true if woken, if the word was not `seen`
// or if a signal cut the sleep short.
inline bool FutexWait(const uint32_t* word, uint32_t seen, int64_t nanos = -1) {
  timespec timeout = {static_cast<time_t>(nanos / 1'000'000'000),
                      static_cast<long>(nanos % 1'000'000'000)};
  return syscall(SYS_futex, word, FUTEX_WAIT, seen, nanos < 0 ? nullptr : &timeout, nullptr, 0) ==
             0 ||
         errno != ETIMEDOUT;
}

// Wakes up to `count` sleepers on `word`.
inline void FutexWake(const uint32_t* word, int count) {
  syscall(SYS_futex, word, FUTEX_WAKE, count, nullptr, nullptr, 0);
}

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_FUTEX_H_
