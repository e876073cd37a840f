// Which keys the last commits changed, for processes that watch keys
// (RegNotifyChangeKeyValue), and a word they sleep on until a writer commits.
//
// The log is a small ring in the store's shared file (SharedFile.h), in an area of its
// own. A writer records the keys each transaction changes, with every key above them
// (marked kBelow), and after COMMIT, still under the store lock, publishes them and wakes
// every process asleep on the wake word (a futex, which works across processes on the
// shared mapping). A watcher reads the entries published since it last looked; one that
// falls so far behind that the ring has overwritten them learns so, and must take
// everything as changed. A writer that dies mid-publication leaves entries that the
// next writer overwrites; watchers never wait on anything but the kernel.
//
// Waking is a system call, which a writer makes only while some process watches: each
// watcher holds SharedFile::kWatcherByte shared, and a writer asks the kernel about that
// byte at most every 50 ms (SetWatchersRecheck), or sooner when a watcher that may write
// the file has moved the area's watcher count on as it started. A watcher that may not
// write it cannot tell writers it started, so for its first twice that it wakes ten times
// as often to read the log, after which every writer has asked.
#ifndef RUZIDE_PLATFORM_REGISTRY_CHANGELOG_H_
#define RUZIDE_PLATFORM_REGISTRY_CHANGELOG_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ruzide::registry {

// What happened to a key; kName and kLastSet are the registry's own filter bits.
enum ChangeBits : uint32_t {
  kChangeName = 0x1,     // a subkey created or deleted
  kKeyDeleted = 0x2,     // the key itself deleted
  kChangeLastSet = 0x4,  // a value set or deleted
  kBelow = 0x8,          // the change happened below this key, not in it
};

// Entries naming key 0 stand for every key.
constexpr int64_t kEveryKey = 0;
// An entry keeps a key id in 60 bits, beside the change bits.
constexpr int64_t kKeyIdLimit = int64_t{1} << 60;

struct ChangeArea;

// How long a writer trusts what it last learnt about watchers: 50 ms unless a test sets
// it otherwise, before the processes it forks start.
void SetWatchersRecheck(int64_t nanos);

// Where the area lies in the shared file, and the file's length it needs.
constexpr size_t kChangeAreaOffset = 2048;
constexpr size_t kChangeAreaEnd = 4096;

// The writer's side, for a process that may write the store.
class ChangeLog {
 public:
  // Records into `area` of the shared file open as `fd`, or nothing when it is null.
  void Attach(ChangeArea* area, int fd) {
    area_ = area;
    fd_ = fd;
    checked_ = false;
    Discard();
  }
  bool attached() const { return area_ != nullptr; }
  // Whether the current transaction has changed so many keys that it will publish one
  // entry for every key: further changes need not be recorded, nor their keys looked up.
  bool saturated() const { return saturated_; }

  // Notes a change of the current transaction.
  void Record(int64_t key, uint32_t bits);
  // Forgets the current transaction's changes (rolled back).
  void Discard() {
    pending_.clear();
    saturated_ = false;
  }
  // Publishes them and wakes the watchers; call after COMMIT, under the store lock.
  void Publish();

 private:
  // Whether a process may be asleep on the wake word.
  bool WatchersMayWait();

  ChangeArea* area_ = nullptr;
  int fd_ = -1;
  std::vector<uint64_t> pending_;
  bool saturated_ = false;
  bool checked_ = false;           // whether the kernel was asked since Attach
  int64_t checked_at_ = 0;         // when it was last asked
  uint32_t watchers_counted_ = 0;  // the watcher count then
  bool watchers_ = true;           // its answer
};

// A watcher's side: its own mapping of the shared file, so that it does not depend on the
// store being open; read-only when this process may not write the file.
class ChangeReader {
 public:
  ChangeReader() = default;
  ChangeReader(const ChangeReader&) = delete;
  ChangeReader& operator=(const ChangeReader&) = delete;
  ~ChangeReader() { Close(); }

  // Maps the shared file at `path`, tells writers that a watcher is there, and starts at
  // the newest entry. False if the file cannot be mapped (a read-only root that has no
  // store yet).
  bool Open(const std::string& path);
  void Close();
  bool is_open() const { return area_ != nullptr; }

  // The wake word, to be read before Read and passed to Wait.
  uint32_t WakeWord() const;
  // Appends (key, bits) of every entry published since the last call to `changes`.
  // Returns false if some were overwritten before they could be read: everything may
  // have changed.
  bool Read(std::vector<std::pair<int64_t, uint32_t>>* changes);
  // Skips whatever was published so far.
  void SkipToNewest();
  // Sleeps until the wake word differs from `seen`, or Interrupt; early, at times, in
  // the first moments of a watcher that writers cannot know of (see above).
  void Wait(uint32_t seen) const;
  // Wakes every sleeper on the word in all processes (they find nothing new).
  void Interrupt() const;

 private:
  ChangeArea* area_ = nullptr;
  void* map_ = nullptr;
  int fd_ = -1;
  uint64_t next_ = 0;
  int64_t unannounced_until_ = 0;  // MonotonicNanos until which Wait wakes at times
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_CHANGELOG_H_
