// The file <root>.gen beside each database, mapped into every process that uses the store.
// It holds what those processes share outside SQLite: the generation counter
// (GenerationCounter.h); at kRunTimeOffset, the boot for which the store has a run-time
// database of volatile keys (Store.h); at kLockWordOffset, the word of the store lock
// (StoreLock.h); in an area of its own from kChangeAreaOffset, the log of changed keys
// (ChangeLog.h); and bytes past its end that carry open-file-description locks, which the
// kernel keeps and drops with their holders: they say which processes are alive, and the
// lock word counts only while they do, so no copy or restore of the file holds anyone up.
//
// The counter stays at offset 0, where the first versions of the store kept it alone, so
// a short file from them only grows. The word after it once described a lock kept in the
// file; every process that may write the file sets it to a value those versions do not
// accept, so that one of them started on this store reads without writing.
#ifndef RUZIDE_PLATFORM_REGISTRY_SHAREDFILE_H_
#define RUZIDE_PLATFORM_REGISTRY_SHAREDFILE_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace ruzide::registry {

struct ChangeArea;

// Sets an open-file-description lock of `type` (F_UNLCK releases) on byte `offset` of the
// file open as `fd`, without waiting; false with errno set if it cannot.
bool LockFileByte(int fd, short type, off_t offset);
// Whether another open file description holds a lock on byte `offset` of the file open as
// `fd`; true when the kernel cannot say, so that a holder is never taken for gone.
bool FileByteHeldElsewhere(int fd, off_t offset);

class SharedFile {
 public:
  // Bytes past the shared data (locks on them never overlap): readers that cannot write
  // the file announce their read transactions with shared locks on kReaderByte; a process
  // that may write it holds kLockByte shared while it uses the store, which keeps out the
  // versions that took the store lock as that byte exclusively; and each such process
  // holds one byte from kTokenBytes exclusively, the one its token names (StoreLock.h).
  // Processes that watch keys hold kWatcherByte shared while they do (ChangeLog.h).
  static constexpr off_t kReaderByte = 4097;
  static constexpr off_t kLockByte = 4098;
  static constexpr off_t kWatcherByte = 4099;
  static constexpr off_t kTokenBytes = off_t{1} << 32;

  SharedFile() = default;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  ~SharedFile() { Close(); }

  // Maps the file at `path`: read-write if this process may write it, creating it with
  // `create_mode` unless that is 0, else read-only. Never follows a symbolic link and never
  // waits for a FIFO or device there. Returns false if it cannot be opened or mapped, is
  // not a regular file, or this process may write it but not allocate its disk space (a
  // full file system), so that the mapping can never fault.
  bool Open(const std::string& path, mode_t create_mode);
  void Close();

  bool writable() const { return writable_; }
  int fd() const { return fd_; }
  // The counter word, or null when the file is not open.
  uint64_t* generation() const;
  // The word that names the boot whose run-time database holds volatile keys (0: none),
  // or null when the file is not open.
  uint64_t* run_time_boot() const;
  // The store lock's word, or null when the file is not open for writing.
  uint32_t* lock_word() const;
  // The change log's area, or null when the file is not open for writing.
  ChangeArea* changes() const;

 private:
  struct Area;

  Area* area_ = nullptr;
  int fd_ = -1;
  bool writable_ = false;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_SHAREDFILE_H_
