#include "platform/registry/StoreLock.h"

#include <fcntl.h>
#include <time.h>

#include <cerrno>

namespace ruzide::registry {

namespace {

// Sets an open-file-description lock on one byte without waiting.
bool LockByte(int fd, short type, off_t offset) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  int result;
  do {
    result = fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// The kernel's blocking lock call cannot be given a deadline, so a waiter tries again
// after pauses that grow from 10 us, about a transaction's length, to 640 us.
constexpr int kPauseSteps = 7;
constexpr long kFirstPauseNanos = 10'000;

}  // namespace

int64_t MonotonicNanos() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

void StoreLock::Attach(const SharedFile* file) {
  Detach();
  fd_ = file->fd();
  serialised_ = file->writable();
}

void StoreLock::Detach() {
  Release();
  fd_ = -1;
  serialised_ = false;
}

LONG StoreLock::Acquire(int64_t deadline) {
  if (fd_ < 0) return ERROR_REGISTRY_IO_FAILED;
  // An outside reader is held off only while a lock holder overwrites what readers read.
  short type = serialised_ ? F_WRLCK : F_RDLCK;
  off_t byte = serialised_ ? SharedFile::kLockByte : SharedFile::kReaderByte;
  for (int step = 0; !LockByte(fd_, type, byte); step += step < kPauseSteps - 1 ? 1 : 0) {
    if (errno != EAGAIN && errno != EACCES) return ERROR_REGISTRY_IO_FAILED;
    int64_t now = MonotonicNanos();
    if (now >= deadline) return ERROR_LOCK_VIOLATION;
    int64_t pause = kFirstPauseNanos << step;
    if (pause > deadline - now) pause = deadline - now;
    timespec interval = {0, static_cast<long>(pause)};
    nanosleep(&interval, nullptr);
  }
  held_ = true;
  return ERROR_SUCCESS;
}

void StoreLock::Release() {
  if (excluding_readers_) LockByte(fd_, F_UNLCK, SharedFile::kReaderByte);
  excluding_readers_ = false;
  if (!held_) return;
  held_ = false;
  LockByte(fd_, F_UNLCK, serialised_ ? SharedFile::kLockByte : SharedFile::kReaderByte);
}

bool StoreLock::ExcludeOutsideReaders() {
  if (!excluding_readers_) {
    excluding_readers_ = serialised_ && LockByte(fd_, F_WRLCK, SharedFile::kReaderByte);
  }
  return excluding_readers_;
}

}  // namespace ruzide::registry
