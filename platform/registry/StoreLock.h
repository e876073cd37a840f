// The lock that serialises the database accesses of all processes that use one store.
//
// A process that can write the shared file (SharedFile.h) takes its robust,
// process-shared mutex around every access to the database: each read transaction, each
// write transaction, opening and closing. It opens the database through the store VFS
// (StoreVfs.h), so SQLite takes none of its own locks between these processes, and a
// commit costs no lock system calls. The mutex costs none either unless another process
// holds it, and then the waiter sleeps in the kernel until it is free.
//
// A process that dies holding the mutex hands it on: the next one to take it is told, and
// marks it consistent. The database files are then as SQLite leaves them when a process
// dies holding its write lock, and SQLite deals with them the same way: frames without a
// commit frame are ignored and overwritten, a wal-index left half-written is rebuilt, and
// a checkpoint cut short is done again. The generation counter may be left odd, which
// only costs other processes their caches until the next write.
//
// A process that cannot write the shared file, such as a user reading the machine root
// that only root may write, cannot take the mutex. It is an outside reader: it reads with
// SQLite's own locking, and announces each read transaction with a shared
// open-file-description lock on a byte of the shared file. Its transactions may run
// alongside those of the processes that take the mutex, whose appended frames do it no
// harm; the few operations that would overwrite what it reads first take that byte
// exclusively (ReaderFence), without waiting.
#ifndef RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_
#define RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_

#include <pthread.h>

#include "platform/WinTypes.h"
#include "platform/registry/SharedFile.h"
#include "platform/registry/StoreVfs.h"

namespace ruzide::registry {

class StoreLock final : public ReaderFence {
 public:
  StoreLock() = default;
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  ~StoreLock() { Detach(); }

  // Uses the lock of `file`, which must stay open until Detach; an outside reader if the
  // file offers no lock to this process.
  void Attach(const SharedFile* file);
  void Detach();

  // True if this process takes the mutex; false for an outside reader.
  bool serialised() const { return mutex_ != nullptr; }
  bool held() const { return held_; }

  // Takes the mutex, or for an outside reader announces a read transaction, waiting up to
  // about a minute for other processes. Returns ERROR_SUCCESS, ERROR_LOCK_VIOLATION if
  // they held it longer, or ERROR_REGISTRY_IO_FAILED if the lock cannot be used.
  LONG Acquire();
  // Releases what Acquire took, and ends any exclusion of outside readers.
  void Release();

  bool ExcludeOutsideReaders() override;

 private:
  pthread_mutex_t* mutex_ = nullptr;
  int fd_ = -1;
  bool held_ = false;
  bool excluding_readers_ = false;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORELOCK_H_
