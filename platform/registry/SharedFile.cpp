#include "platform/registry/SharedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/registry/ChangeLog.h"

namespace ruzide::registry {

struct SharedFile::Area {
  uint64_t generation;
  uint32_t lock_layout;  // kLockLayout once `lock` is initialised, else 0
  uint32_t unused;
  pthread_mutex_t lock;
};

namespace {

constexpr size_t kFileSize = 4096;
// Held while the lock is initialised.
constexpr off_t kInitialiseByte = 4096;
static_assert(sizeof(uint64_t) + sizeof(uint32_t) * 2 + sizeof(pthread_mutex_t) <=
                  kChangeAreaOffset,
              "the shared data fits in the file, before the change log");
static_assert(kChangeAreaEnd <= kFileSize, "the change log fits in the file");
static_assert(SharedFile::kReaderByte >= static_cast<off_t>(kFileSize) &&
                  SharedFile::kReaderByte != kInitialiseByte,
              "lock bytes lie past the data and apart");

#ifdef __GLIBC__
constexpr uint32_t kLibrary = 'g';
#else
constexpr uint32_t kLibrary = 'o';
#endif
// Processes agree on the lock's layout only if they share the C library and word size.
constexpr uint32_t kLockLayout = (uint32_t{'R'} << 24) | (kLibrary << 16) |
                                 (uint32_t{sizeof(void*)} << 8) | sizeof(pthread_mutex_t);

bool LockByte(int fd, short type, off_t offset) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  int result;
  do {
    result = fcntl(fd, F_OFD_SETLKW, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace

bool SharedFile::Open(const std::string& path, mode_t create_mode) {
  Close();
  bool writable = true;
  int fd = create_mode != 0 ? open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, create_mode)
                            : open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    writable = false;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return false;
  fd_ = fd;
  struct stat info;
  if (fstat(fd, &info) != 0) {
    Close();
    return false;
  }
  // Growing a short file zero-fills it, so two processes creating it at once agree. A
  // writer that cannot grow it may not write. A reader only needs the counter, and
  // without one caches nothing; it still has the file for the reader lock.
  if (static_cast<size_t>(info.st_size) < kFileSize) {
    if (!writable) {
      if (info.st_size < static_cast<off_t>(sizeof(uint64_t))) return true;
    } else if (ftruncate(fd, kFileSize) != 0) {
      Close();
      return false;
    }
  }
  void* map =
      mmap(nullptr, kFileSize, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) {
    Close();
    return false;
  }
  area_ = static_cast<Area*>(map);
  writable_ = writable;
  lock_usable_ = writable && InitialiseLock();
  return true;
}

bool SharedFile::InitialiseLock() {
  if (!LockByte(fd_, F_WRLCK, kInitialiseByte)) return false;
  uint32_t layout = __atomic_load_n(&area_->lock_layout, __ATOMIC_ACQUIRE);
  if (layout == 0) {
    // Robust, so that a process that dies holding it does not block the others for good;
    // process-shared, as it lives in a file that every process maps.
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (pthread_mutex_init(&area_->lock, &attributes) == 0) {
      layout = kLockLayout;
      __atomic_store_n(&area_->lock_layout, layout, __ATOMIC_RELEASE);
    }
    pthread_mutexattr_destroy(&attributes);
  }
  LockByte(fd_, F_UNLCK, kInitialiseByte);
  return layout == kLockLayout;
}

void SharedFile::Close() {
  if (area_ != nullptr) munmap(area_, kFileSize);
  if (fd_ >= 0) close(fd_);
  area_ = nullptr;
  fd_ = -1;
  writable_ = false;
  lock_usable_ = false;
}

uint64_t* SharedFile::generation() const { return area_ != nullptr ? &area_->generation : nullptr; }

pthread_mutex_t* SharedFile::lock() const { return lock_usable_ ? &area_->lock : nullptr; }

ChangeArea* SharedFile::changes() const {
  if (!writable_) return nullptr;
  return reinterpret_cast<ChangeArea*>(reinterpret_cast<char*>(area_) + kChangeAreaOffset);
}

}  // namespace ruzide::registry
