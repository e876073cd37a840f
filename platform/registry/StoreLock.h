// The lock that serialises the database accesses of all processes that use one store.
//
// A process that can write the shared file (SharedFile.h) holds an exclusive
// open-file-description lock on a byte of it around every access to the database: each
// read transaction, each write transaction, opening and closing. It opens the database
// through the store VFS (StoreVfs.h), so SQLite takes none of its own locks between these
// processes, and a transaction costs two lock system calls, one to take the lock and one
// to release it.
//
// The kernel keeps the lock, not the file: it goes with the last descriptor of its open
// file description, however the holder ends, and nothing of it is in the file to be copied,
// restored or left behind by a reboot. A process that dies holding it leaves the database
// files as SQLite leaves them when a process dies holding its write lock, and SQLite deals
// with them the same way: frames without a commit frame are ignored and overwritten, a
// wal-index left half-written is rebuilt, and a checkpoint cut short is done again. The
// generation counter may be left odd, which only costs other processes their caches until
// the next write.
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
  // process may not write the file.
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
  int fd_ = -1;
  bool serialised_ = false;
  bool held_ = false;
  bool excluding_readers_ = false;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_
