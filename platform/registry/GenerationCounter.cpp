#include "platform/registry/GenerationCounter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ruzide::registry {

namespace {
constexpr size_t kFileSize = sizeof(uint64_t);
constexpr uint64_t kUnavailable = 1;  // odd: never matches a cache
}  // namespace

bool GenerationCounter::Open(const std::string& path, bool writable, mode_t mode) {
  Close();
  int fd = writable ? open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode)
                    : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0;
  // Growing a short file zero-fills it, so two processes creating it at once agree.
  if (ok && static_cast<size_t>(info.st_size) < kFileSize) {
    ok = writable && ftruncate(fd, kFileSize) == 0;
  }
  void* map = MAP_FAILED;
  if (ok) {
    map =
        mmap(nullptr, kFileSize, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  }
  close(fd);
  if (map == MAP_FAILED) return false;
  word_ = static_cast<uint64_t*>(map);
  writable_ = writable;
  return true;
}

void GenerationCounter::Close() {
  if (word_ != nullptr) munmap(word_, kFileSize);
  word_ = nullptr;
  writable_ = false;
}

uint64_t GenerationCounter::Load() const {
  if (word_ == nullptr) return kUnavailable;
  return __atomic_load_n(word_, __ATOMIC_SEQ_CST);
}

void GenerationCounter::BeginCommit() {
  if (word_ == nullptr || !writable_) return;
  uint64_t value = __atomic_load_n(word_, __ATOMIC_SEQ_CST);
  __atomic_store_n(word_, Stable(value) ? value + 1 : value + 2, __ATOMIC_SEQ_CST);
}

uint64_t GenerationCounter::EndCommit() {
  if (word_ == nullptr || !writable_) return kUnavailable;
  uint64_t value = __atomic_load_n(word_, __ATOMIC_SEQ_CST);
  if (!Stable(value)) ++value;
  __atomic_store_n(word_, value, __ATOMIC_SEQ_CST);
  return value;
}

}  // namespace ruzide::registry
