// The file <root>.gen beside each database, mapped into every process that uses the store.
// It holds what those processes share outside SQLite: the generation counter
// (GenerationCounter.h), the store lock (StoreLock.h) and, in an area of its own from
// kChangeAreaOffset, the log of changed keys (ChangeLog.h).
//
// The counter stays at offset 0, where the first versions of the store kept it alone, so
// a short file from them only grows. The lock follows it, with a word that names the C
// library and word size it was laid out by: a process built differently finds another
// value there and must not take the lock. A process that can write the file initialises
// the lock once, under an open-file-description lock on the file, so that two processes
// creating the file at once do not both initialise it.
#ifndef RUZIDE_PLATFORM_REGISTRY_SHAREDFILE_H_
#define RUZIDE_PLATFORM_REGISTRY_SHAREDFILE_H_

#include <pthread.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace ruzide::registry {

struct ChangeArea;

class SharedFile {
 public:
  // A byte past the shared data on which readers that cannot write the file announce
  // their read transactions (StoreLock.h). Locks on it never overlap the ones above.
  static constexpr off_t kReaderByte = 4097;

  SharedFile() = default;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  ~SharedFile() { Close(); }

  // Maps the file at `path`: read-write if this process may write it, creating it with
  // `create_mode` unless that is 0, else read-only. Returns false if it cannot be opened
  // or mapped at all, or if this process may write it but not grow it.
  bool Open(const std::string& path, mode_t create_mode);
  void Close();

  bool writable() const { return writable_; }
  int fd() const { return fd_; }
  // The counter word, or null when the file is not open.
  uint64_t* generation() const;
  // The store lock, or null when this process cannot take it: the file is read-only to
  // it, or the lock was laid out by a different build.
  pthread_mutex_t* lock() const;
  // The change log's area, or null when the file is not open for writing.
  ChangeArea* changes() const;

 private:
  struct Area;

  bool InitialiseLock();

  Area* area_ = nullptr;
  int fd_ = -1;
  bool writable_ = false;
  bool lock_usable_ = false;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_SHAREDFILE_H_
