#include "platform/registry/StoreLock.h"

#include <fcntl.h>
#include <time.h>

#include <cerrno>

namespace ruzide::registry {

namespace {

constexpr time_t kWaitSeconds = 60;

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

timespec Deadline() {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += kWaitSeconds;
  return deadline;
}

bool Before(const timespec& deadline) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec < deadline.tv_sec ||
         (now.tv_sec == deadline.tv_sec && now.tv_nsec < deadline.tv_nsec);
}

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
  timespec deadline = Deadline();
  if (mutex_ != nullptr) {
    int result = pthread_mutex_clocklock(mutex_, CLOCK_MONOTONIC, &deadline);
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
