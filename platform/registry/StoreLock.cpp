#include "platform/registry/StoreLock.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/registry/Futex.h"

namespace ruzide::registry {

namespace {

// The word holds the holder's token above two bits of state: 0 is free; kLocked is held
// with no one asleep on it; kContended is held by a holder that must wake a sleeper when
// it lets go.
constexpr uint32_t kLocked = 1;
constexpr uint32_t kContended = 2;
constexpr uint32_t kStateBits = 3;
constexpr uint32_t kTokenLimit = uint32_t{1} << 30;
// Tokens tried before a process gives up and reads as an outside reader: of 2^30, so
// trying more than a few means something other than chance refuses them.
constexpr int kTokenTries = 64;

// The kernel's blocking lock call cannot be given a deadline, so a waiter for a byte tries
// again after pauses that grow from 10 us, about a transaction's length, to 640 us.
constexpr int kPauseSteps = 7;
constexpr long kFirstPauseNanos = 10'000;

// A sleeper on the word is woken when it is let go; it asks whether the holder is gone
// when a sleep runs this long with the same holder, then after sleeps twice as long, up to
// the last: a dead holder costs the first waiter about a millisecond.
constexpr int64_t kFirstCheckNanos = 1'000'000;
constexpr int64_t kLastCheckNanos = 64'000'000;

// Tokens to try: different in each process and each try, taken from the clock, the
// process id and the attempt.
uint32_t TokenCandidate(int attempt) {
  uint64_t mixed = static_cast<uint64_t>(MonotonicNanos()) ^
                   (static_cast<uint64_t>(getpid()) << 32) ^ static_cast<uint64_t>(attempt);
  mixed *= 0x9E3779B97F4A7C15ull;
  return static_cast<uint32_t>(mixed >> 34) % (kTokenLimit - 1) + 1;
}

}  // namespace

int64_t MonotonicNanos() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

void StoreLock::Attach(const SharedFile* file) {
  Detach();
  fd_ = file->fd();
  word_ = file->lock_word();
  serialised_ = word_ != nullptr && ClaimToken();
  if (serialised_) fenced_ = LockFileByte(fd_, F_RDLCK, SharedFile::kLockByte);
}

bool StoreLock::ClaimToken() {
  for (int attempt = 0; attempt < kTokenTries; ++attempt) {
    uint32_t token = TokenCandidate(attempt);
    if (LockFileByte(fd_, F_WRLCK, SharedFile::kTokenBytes + token)) {
      token_ = token;
      return true;
    }
    if (errno != EAGAIN && errno != EACCES) break;
  }
  return false;
}

void StoreLock::Detach() {
  Release();
  // Closing the file's descriptor drops the byte locks; this process may keep it open.
  if (token_ != 0) LockFileByte(fd_, F_UNLCK, SharedFile::kTokenBytes + token_);
  if (fenced_) LockFileByte(fd_, F_UNLCK, SharedFile::kLockByte);
  fd_ = -1;
  word_ = nullptr;
  token_ = 0;
  fenced_ = false;
  serialised_ = false;
}

LONG StoreLock::Acquire(int64_t deadline) {
  if (fd_ < 0) return ERROR_REGISTRY_IO_FAILED;
  LONG status;
  if (!serialised_) {
    // An outside reader is held off only while a lock holder overwrites what readers read.
    status = LockByteUntil(F_RDLCK, SharedFile::kReaderByte, deadline);
  } else {
    if (!fenced_) {
      status = LockByteUntil(F_RDLCK, SharedFile::kLockByte, deadline);
      if (status != ERROR_SUCCESS) return status;
      fenced_ = true;
    }
    uint32_t free_word = 0;
    status = __atomic_compare_exchange_n(word_, &free_word, token_ << 2 | kLocked, false,
                                         __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)
                 ? ERROR_SUCCESS
                 : AcquireWord(deadline);
  }
  held_ = status == ERROR_SUCCESS;
  return status;
}

// Whoever takes the word after a wait takes it as contended: other waiters may still be
// asleep, and letting go must wake the next.
LONG StoreLock::AcquireWord(int64_t deadline) {
  const uint32_t mine = token_ << 2 | kContended;
  int64_t check = kFirstCheckNanos;
  for (;;) {
    uint32_t seen = __atomic_load_n(word_, __ATOMIC_SEQ_CST);
    if (seen == 0) {
      if (__atomic_compare_exchange_n(word_, &seen, mine, false, __ATOMIC_SEQ_CST,
                                      __ATOMIC_SEQ_CST)) {
        return ERROR_SUCCESS;
      }
      continue;
    }
    if ((seen & kStateBits) != kContended) {
      uint32_t marked = (seen & ~kStateBits) | kContended;
      if (!__atomic_compare_exchange_n(word_, &seen, marked, false, __ATOMIC_SEQ_CST,
                                       __ATOMIC_SEQ_CST)) {
        continue;
      }
      seen = marked;
    }
    int64_t now = MonotonicNanos();
    if (now >= deadline) return ERROR_LOCK_VIOLATION;
    if (FutexWait(word_, seen, std::min(check, deadline - now))) continue;
    if (__atomic_load_n(word_, __ATOMIC_SEQ_CST) == seen && HolderGone(seen >> 2) &&
        __atomic_compare_exchange_n(word_, &seen, mine, false, __ATOMIC_SEQ_CST,
                                    __ATOMIC_SEQ_CST)) {
      return ERROR_SUCCESS;
    }
    check = std::min(check * 2, kLastCheckNanos);
  }
}

bool StoreLock::HolderGone(uint32_t token) const {
  // This process's own token in a word it does not hold came with a copy of the file.
  return token == token_ || !FileByteHeldElsewhere(fd_, SharedFile::kTokenBytes + token);
}

LONG StoreLock::LockByteUntil(short type, off_t byte, int64_t deadline) {
  for (int step = 0; !LockFileByte(fd_, type, byte); step += step < kPauseSteps - 1 ? 1 : 0) {
    if (errno != EAGAIN && errno != EACCES) return ERROR_REGISTRY_IO_FAILED;
    int64_t now = MonotonicNanos();
    if (now >= deadline) return ERROR_LOCK_VIOLATION;
    int64_t pause = kFirstPauseNanos << step;
    if (pause > deadline - now) pause = deadline - now;
    timespec interval = {0, static_cast<long>(pause)};
    nanosleep(&interval, nullptr);
  }
  return ERROR_SUCCESS;
}

void StoreLock::Release() {
  if (excluding_readers_) LockFileByte(fd_, F_UNLCK, SharedFile::kReaderByte);
  excluding_readers_ = false;
  if (!held_) return;
  held_ = false;
  if (!serialised_) {
    LockFileByte(fd_, F_UNLCK, SharedFile::kReaderByte);
    return;
  }
  if ((__atomic_exchange_n(word_, 0, __ATOMIC_SEQ_CST) & kStateBits) == kContended) {
    FutexWake(word_, 1);
  }
}

bool StoreLock::ExcludeOutsideReaders() {
  if (!excluding_readers_) {
    excluding_readers_ = serialised_ && LockFileByte(fd_, F_WRLCK, SharedFile::kReaderByte);
  }
  return excluding_readers_;
}

}  // namespace ruzide::registry
