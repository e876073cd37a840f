#include "platform/registry/StoreLock.h"

#include <fcntl.h>
#include <time.h>

#include <cerrno>

namespace ruzide::registry {

namespace {

constexpr time_t kWaitSeconds = 60;
// The longest a waiter sleeps before looking at the lock again (see Acquire).
constexpr long kWaitSliceNanos = 10'000'000;

// Sets an open-file-description lock on the reader byte without waiting.
bool LockReaderByte(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = SharedFile::kReaderByte;
  lock.l_len = 1;
  int result;
  do {
    result = fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool Earlier(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The monotonic time `seconds` and `nanos` from now.
timespec FromNow(time_t seconds, long nanos) {
  timespec time;
  clock_gettime(CLOCK_MONOTONIC, &time);
  time.tv_sec += seconds;
  time.tv_nsec += nanos;
  if (time.tv_nsec >= 1'000'000'000) {
    time.tv_nsec -= 1'000'000'000;
    ++time.tv_sec;
  }
  return time;
}

bool Before(const timespec& deadline) { return Earlier(FromNow(0, 0), deadline); }

}  // namespace

void StoreLock::Attach(const SharedFile* file) {
  Detach();
  mutex_ = file->lock();
  fd_ = file->fd();
}

void StoreLock::Detach() {
  Release();
  mutex_ = nullptr;
  fd_ = -1;
}

LONG StoreLock::Acquire() {
  timespec deadline = FromNow(kWaitSeconds, 0);
  if (mutex_ != nullptr) {
    // The kernel wakes a waiter when the lock is released or its holder dies. A waiter
    // killed just after being woken passes its wake-up on only if the lock is still free
    // then; if another process took it meanwhile without ever waiting, the other waiters
    // sleep on until their time runs out. So a wait lasts one short slice at a time.
    int result;
    do {
      timespec slice = FromNow(0, kWaitSliceNanos);
      result = pthread_mutex_clocklock(mutex_, CLOCK_MONOTONIC,
                                       Earlier(slice, deadline) ? &slice : &deadline);
    } while (result == ETIMEDOUT && Before(deadline));
    // Its holder died; what it left is for SQLite and the counter to sort out.
    if (result == EOWNERDEAD) result = pthread_mutex_consistent(mutex_);
    if (result == ETIMEDOUT) return ERROR_LOCK_VIOLATION;
    if (result != 0) return ERROR_REGISTRY_IO_FAILED;
  } else {
    if (fd_ < 0) return ERROR_REGISTRY_IO_FAILED;
    // Held off only while a lock holder overwrites what readers read: briefly.
    while (!LockReaderByte(fd_, F_RDLCK)) {
      if (errno != EAGAIN && errno != EACCES) return ERROR_REGISTRY_IO_FAILED;
      if (!Before(deadline)) return ERROR_LOCK_VIOLATION;
      timespec pause = {0, 100'000};
      nanosleep(&pause, nullptr);
    }
  }
  held_ = true;
  return ERROR_SUCCESS;
}

void StoreLock::Release() {
  if (excluding_readers_) LockReaderByte(fd_, F_UNLCK);
  excluding_readers_ = false;
  if (!held_) return;
  held_ = false;
  if (mutex_ != nullptr) {
    pthread_mutex_unlock(mutex_);
  } else {
    LockReaderByte(fd_, F_UNLCK);
  }
}

bool StoreLock::ExcludeOutsideReaders() {
  if (!excluding_readers_) excluding_readers_ = mutex_ != nullptr && LockReaderByte(fd_, F_WRLCK);
  return excluding_readers_;
}

}  // namespace ruzide::registry
