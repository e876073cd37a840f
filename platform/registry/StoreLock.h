// The lock that serialises the database accesses of all processes that use one store.
//
// A process that can write the shared file (SharedFile.h) holds it around every access to
// the database: each read transaction, each write transaction, opening and closing. It
// opens the database through the store VFS (StoreVfs.h), so SQLite takes none of its own
// locks between these processes.
//
// The lock is a word in the shared file, taken and given back with atomic instructions:
// a transaction that finds it free makes no system call for it. The word names its holder
// by a token, and each process holds, while it uses the store, an exclusive
// open-file-description lock on the byte its token names past the end of the file. The
// kernel keeps those locks, not the file: one goes with the last descriptor of its open
// file description, however the holder ends. A waiter sleeps on the word (a futex, which
// works across processes on the shared mapping) and, when a wait runs out with the same
// holder, asks the kernel whether the holder's byte is still locked; if not, the holder has
// gone, and the waiter takes the word from it. So a process that dies holding the lock
// holds others up for a few milliseconds, and a copy or restore of the file taken while it
// was held names a token no process holds. A process that died holding the lock leaves the
// database files as SQLite leaves them when a process dies holding its write lock, and
// SQLite deals with them the same way: frames without a commit frame are ignored and
// overwritten, a wal-index left half-written is rebuilt, and a checkpoint cut short is
// done again. The generation counter may be left odd, which only costs other processes
// their caches until the next write.
//
// A process that cannot write the shared file, such as a user reading the machine root
// that only root may write, cannot take the lock. It is an outside reader: it reads with
// SQLite's own locking, and announces each read transaction with a shared lock on another
// byte. Its transactions may run alongside those of the processes that take the lock,
// whose appended frames do it no harm; the few operations that would overwrite what it
// reads first take that byte exclusively (ReaderFence), without waiting.
#ifndef RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_
#define RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_

#include <cstdint>

#include "platform/WinTypes.h"
#include "platform/registry/SharedFile.h"
#include "platform/registry/StoreVfs.h"

namespace ruzide::registry {

// The monotonic clock in nanoseconds, against which waits are bounded.
int64_t MonotonicNanos();

class StoreLock final : public ReaderFence {
 public:
  StoreLock() = default;
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  ~StoreLock() { Detach(); }

  // Uses the lock of `file`, which must stay open until Detach; an outside reader if this
  // process may not write the file, or if no token can be had for it.
  void Attach(const SharedFile* file);
  void Detach();

  // True if this process takes the lock; false for an outside reader.
  bool serialised() const { return serialised_; }
  bool held() const { return held_; }

  // Takes the lock, or for an outside reader announces a read transaction, waiting for
  // other processes until `deadline` (MonotonicNanos). Returns ERROR_SUCCESS,
  // ERROR_LOCK_VIOLATION if they held it until then, or ERROR_REGISTRY_IO_FAILED if the
  // lock cannot be used.
  LONG Acquire(int64_t deadline);
  // Releases what Acquire took, and ends any exclusion of outside readers.
  void Release();

  bool ExcludeOutsideReaders() override;

 private:
  // Locks a byte from SharedFile::kTokenBytes for this process, and the token naming it.
  bool ClaimToken();
  // Waits for the word to be free, or its holder gone, and takes it; ERROR_SUCCESS or
  // ERROR_LOCK_VIOLATION at `deadline`.
  LONG AcquireWord(int64_t deadline);
  // Whether the process whose token is `token` no longer holds its byte.
  bool HolderGone(uint32_t token) const;
  // Takes kLockByte shared, or for an outside reader the reader byte, waiting until
  // `deadline` while a process that takes it exclusively holds it.
  LONG LockByteUntil(short type, off_t byte, int64_t deadline);

  int fd_ = -1;
  uint32_t* word_ = nullptr;
  uint32_t token_ = 0;
  bool fenced_ = false;  // holds kLockByte shared
  bool serialised_ = false;
  bool held_ = false;
  bool excluding_readers_ = false;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_
