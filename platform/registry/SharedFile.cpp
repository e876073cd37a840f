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
  uint32_t lock_layout;  // kLockLayout; earlier versions kept a mutex after this word
};

namespace {

constexpr size_t kFileSize = 4096;
// Well past the words of the first versions, which kept a mutex after the layout word.
constexpr size_t kRunTimeOffset = 1024;
// On a cache line of its own, past where the first versions kept their mutex.
constexpr size_t kLockWordOffset = 64;
static_assert(kLockWordOffset + sizeof(uint32_t) <= kRunTimeOffset, "the lock word comes first");
static_assert(kRunTimeOffset + sizeof(uint64_t) <= kChangeAreaOffset,
              "the run-time word lies before the change log");
static_assert(sizeof(uint64_t) + sizeof(uint32_t) <= kChangeAreaOffset,
              "the shared data fits in the file, before the change log");
static_assert(kChangeAreaEnd <= kFileSize, "the change log fits in the file");
static_assert(SharedFile::kReaderByte >= static_cast<off_t>(kFileSize) &&
                  SharedFile::kLockByte >= static_cast<off_t>(kFileSize) &&
                  SharedFile::kWatcherByte > SharedFile::kLockByte &&
                  SharedFile::kLockByte > SharedFile::kReaderByte &&
                  SharedFile::kTokenBytes > SharedFile::kWatcherByte,
              "lock bytes lie past the data and apart");

// The versions that kept the lock in the file take it only when this word is 0 or names
// their own layout, whose top byte is 'R'; they read as outside readers otherwise. Those
// that took the lock as kLockByte exclusively ignore it (layout 1); this one is layout 2.
constexpr uint32_t kLockLayout = uint32_t{'F'} << 24 | uint32_t{'L'} << 16 | 'O' << 8 | 2;

struct flock ByteRange(short type, off_t offset) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  return lock;
}

int OpenFile(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

bool LockFileByte(int fd, short type, off_t offset) {
  struct flock lock = ByteRange(type, offset);
  int result;
  do {
    result = fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool FileByteHeldElsewhere(int fd, off_t offset) {
  struct flock lock = ByteRange(F_WRLCK, offset);
  return fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

bool SharedFile::Open(const std::string& path, mode_t create_mode) {
  static_assert(sizeof(Area) <= kFileSize, "the shared data fits in the file");
  Close();
  bool writable = true;
  int fd = OpenFile(path, create_mode != 0 ? O_RDWR | O_CREAT : O_RDWR, create_mode);
  if (fd < 0 && errno != ELOOP) {
    writable = false;
    fd = OpenFile(path, O_RDONLY, 0);
  }
  if (fd < 0) return false;
  fd_ = fd;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    Close();
    return false;
  }
  // A writer allocates the file's blocks for real before mapping them: a store first used
  // on a full file system must fail its calls, not fault on its first store to the page.
  // Allocating zero-fills, so two processes creating the file at once agree. A reader only
  // needs the counter, and without one caches nothing; it still has the file for the reader
  // lock.
  if (writable) {
    if (posix_fallocate(fd, 0, kFileSize) != 0) {
      Close();
      return false;
    }
  } else if (info.st_size < static_cast<off_t>(sizeof(uint64_t))) {
    return true;
  }
  void* map =
      mmap(nullptr, kFileSize, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) {
    Close();
    return false;
  }
  area_ = static_cast<Area*>(map);
  writable_ = writable;
  if (writable && __atomic_load_n(&area_->lock_layout, __ATOMIC_RELAXED) != kLockLayout) {
    __atomic_store_n(&area_->lock_layout, kLockLayout, __ATOMIC_RELAXED);
  }
  return true;
}

void SharedFile::Close() {
  if (area_ != nullptr) munmap(area_, kFileSize);
  if (fd_ >= 0) close(fd_);
  area_ = nullptr;
  fd_ = -1;
  writable_ = false;
}

uint64_t* SharedFile::generation() const { return area_ != nullptr ? &area_->generation : nullptr; }

uint64_t* SharedFile::run_time_boot() const {
  if (area_ == nullptr) return nullptr;
  return reinterpret_cast<uint64_t*>(reinterpret_cast<char*>(area_) + kRunTimeOffset);
}

uint32_t* SharedFile::lock_word() const {
  static_assert(sizeof(Area) <= kLockWordOffset, "the lock word lies past the others");
  if (!writable_) return nullptr;
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(area_) + kLockWordOffset);
}

ChangeArea* SharedFile::changes() const {
  if (!writable_) return nullptr;
  return reinterpret_cast<ChangeArea*>(reinterpret_cast<char*>(area_) + kChangeAreaOffset);
}

}  // namespace ruzide::registry
