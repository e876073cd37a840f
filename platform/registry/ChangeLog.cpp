#include "platform/registry/ChangeLog.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>

#include "platform/registry/Futex.h"
#include "platform/registry/SharedFile.h"
#include "platform/registry/StoreLock.h"

namespace ruzide::registry {

namespace {

constexpr uint64_t kSlots = 64;
// A transaction that changes more keys than this publishes one entry for every key.
constexpr size_t kMostEntries = kSlots / 4;

}  // namespace

// A file from before the log, or a new one, holds zeros: an empty log.
struct ChangeArea {
  uint32_t wake;      // moves on after each publication
  uint32_t watchers;  // moves on when a watcher that may write the file starts
  uint64_t head;      // entries published so far; entry n lives in slots[n % kSlots]
  struct Slot {
    uint64_t stamp;  // n + 1 once entry n is complete in the slot
    uint64_t word;   // key << 4 | ChangeBits
  } slots[kSlots];
};
static_assert(kChangeAreaOffset + sizeof(ChangeArea) <= kChangeAreaEnd, "the log fits the file");

namespace {

std::atomic<int64_t> recheck_nanos{50'000'000};

uint64_t Pack(int64_t key, uint32_t bits) { return static_cast<uint64_t>(key) << 4 | bits; }

}  // namespace

// The pending entries stay few, so finding one is a short scan: a transaction that
// changes more keys gives them up for one entry naming every key, and records no more.
void ChangeLog::Record(int64_t key, uint32_t bits) {
  if (area_ == nullptr || saturated_) return;
  uint64_t word = Pack(key, bits);
  if (std::find(pending_.begin(), pending_.end(), word) != pending_.end()) return;
  if (pending_.size() == kMostEntries) {
    pending_.assign(1, Pack(kEveryKey, kChangeName));
    saturated_ = true;
    return;
  }
  pending_.push_back(word);
}

void ChangeLog::Publish() {
  if (area_ == nullptr || pending_.empty()) return;
  uint64_t head = __atomic_load_n(&area_->head, __ATOMIC_RELAXED);
  for (uint64_t word : pending_) {
    ChangeArea::Slot& slot = area_->slots[head % kSlots];
    // Readers take the entry only if the stamp names it before and after reading it.
    __atomic_store_n(&slot.stamp, 0, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_RELEASE);
    __atomic_store_n(&slot.word, word, __ATOMIC_RELAXED);
    __atomic_store_n(&slot.stamp, head + 1, __ATOMIC_RELEASE);
    ++head;
  }
  Discard();
  __atomic_store_n(&area_->head, head, __ATOMIC_RELEASE);
  __atomic_add_fetch(&area_->wake, 1, __ATOMIC_SEQ_CST);
  if (WatchersMayWait()) FutexWake(&area_->wake, INT_MAX);
}

void SetWatchersRecheck(int64_t nanos) { recheck_nanos.store(nanos, std::memory_order_relaxed); }

// A watcher that may write the file moves the count on after taking the byte, and reads
// the wake word after that: a writer that loads the count before it moved has moved the
// wake word first, so that watcher reads this publication before it sleeps.
bool ChangeLog::WatchersMayWait() {
  const uint32_t counted = __atomic_load_n(&area_->watchers, __ATOMIC_SEQ_CST);
  const int64_t now = MonotonicNanos();
  if (!checked_ || counted != watchers_counted_ ||
      now - checked_at_ >= recheck_nanos.load(std::memory_order_relaxed)) {
    checked_ = true;
    watchers_counted_ = counted;
    checked_at_ = now;
    watchers_ = FileByteHeldElsewhere(fd_, SharedFile::kWatcherByte);
  }
  return watchers_;
}

bool ChangeReader::Open(const std::string& path) {
  Close();
  bool writable = true;
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    writable = false;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  }
  if (fd < 0) return false;
  struct stat info;
  void* map = MAP_FAILED;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<size_t>(info.st_size) >= kChangeAreaEnd) {
    map = mmap(nullptr, kChangeAreaEnd, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
               fd, 0);
  }
  if (map == MAP_FAILED) {
    close(fd);
    return false;
  }
  map_ = map;
  fd_ = fd;
  area_ = reinterpret_cast<ChangeArea*>(static_cast<char*>(map) + kChangeAreaOffset);
  // Held until the descriptor closes, however this process ends.
  LockFileByte(fd, F_RDLCK, SharedFile::kWatcherByte);
  if (writable) {
    __atomic_add_fetch(&area_->watchers, 1, __ATOMIC_SEQ_CST);
  } else {
    unannounced_until_ = MonotonicNanos() + 2 * recheck_nanos.load(std::memory_order_relaxed);
  }
  SkipToNewest();
  return true;
}

void ChangeReader::Close() {
  if (map_ != nullptr) munmap(map_, kChangeAreaEnd);
  if (fd_ >= 0) close(fd_);
  map_ = nullptr;
  area_ = nullptr;
  fd_ = -1;
  unannounced_until_ = 0;
}

uint32_t ChangeReader::WakeWord() const {
  return area_ != nullptr ? __atomic_load_n(&area_->wake, __ATOMIC_SEQ_CST) : 0;
}

void ChangeReader::SkipToNewest() {
  if (area_ != nullptr) next_ = __atomic_load_n(&area_->head, __ATOMIC_ACQUIRE);
}

bool ChangeReader::Read(std::vector<std::pair<int64_t, uint32_t>>* changes) {
  if (area_ == nullptr) return true;
  uint64_t head = __atomic_load_n(&area_->head, __ATOMIC_ACQUIRE);
  bool complete = head - next_ <= kSlots;
  for (uint64_t n = complete ? next_ : head; n < head && complete; ++n) {
    const ChangeArea::Slot& slot = area_->slots[n % kSlots];
    uint64_t stamp = __atomic_load_n(&slot.stamp, __ATOMIC_ACQUIRE);
    uint64_t word = __atomic_load_n(&slot.word, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
    complete = stamp == n + 1 && __atomic_load_n(&slot.stamp, __ATOMIC_RELAXED) == n + 1;
    if (complete) changes->emplace_back(static_cast<int64_t>(word >> 4), word & 0xF);
  }
  // A head that went backwards means the file was made anew.
  if (head < next_) complete = false;
  next_ = head;
  return complete;
}

void ChangeReader::Wait(uint32_t seen) const {
  if (area_ == nullptr) return;
  if (unannounced_until_ == 0 || MonotonicNanos() >= unannounced_until_) {
    FutexWait(&area_->wake, seen);
    return;
  }
  FutexWait(&area_->wake, seen, recheck_nanos.load(std::memory_order_relaxed) / 10);
}

void ChangeReader::Interrupt() const {
  if (area_ != nullptr) FutexWake(&area_->wake, INT_MAX);
}

}  // namespace ruzide::registry
