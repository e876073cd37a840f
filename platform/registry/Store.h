// One root's store: its database, its generation counter and this process's cache of it,
// behind one mutex. The registry functions (RegistryApi.cpp) check their arguments and
// buffers; Store answers for the keys and values themselves.
//
// A store opens itself on first use, reading the environment then (StoreLocation.h). It
// is read-only when the root is listed in RUZIDE_REGISTRY_READONLY, when its folder or
// file is not writable, or when they cannot be created; a read-only root without a
// database has only its root key. A damaged database file makes every call fail with
// ERROR_BADDB, and the file is not touched, until another file takes its place (Restore).
//
// Each call is one transaction, unless the thread has a transaction open
// (StoreTransaction.h): then the calls join it. Reads go to the cache when the generation counter
// says it is current and to the database otherwise; a write commits and moves the counter on
// (GenerationCounter.h). Every use of the database, reads that miss the cache included,
// happens under the store lock (StoreLock.h), which a call waits for until a minute after it
// began, opening the store included.
//
// Each commit that changes keys publishes them in the change log (ChangeLog.h), which
// RegNotifyChangeKeyValue's watchers read.
//
// Volatile keys, and everything below and in them, live in a second database of the same
// schema, the run-time database, in a folder that a restart of the machine empties
// (RunTimeLocation); nothing of them reaches the database file but the last-write time of
// a non-volatile parent. Their ids start at kVolatileKeyBase, so an id tells which
// database holds a key, and a non-volatile key's subkeys are looked for in both. The run-
// time database is created with the first volatile key and opened by other processes when
// the shared file says that it exists for this boot; the store lock and the generation
// counter cover it as they cover the database file, each call's transaction spanning both.
#ifndef RUZIDE_PLATFORM_REGISTRY_STORE_H_
#define RUZIDE_PLATFORM_REGISTRY_STORE_H_

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/ChangeLog.h"
#include "platform/registry/Database.h"
#include "platform/registry/GenerationCounter.h"
#include "platform/registry/KeyCache.h"
#include "platform/registry/SharedFile.h"
#include "platform/registry/StoreLocation.h"
#include "platform/registry/StoreLock.h"
#include "platform/registry/StoreTransaction.h"

namespace ruzide::registry {

// A key as a handle refers to it: its id and its depth below the root.
struct KeyRef {
  int64_t id;
  int depth;
};

using KeyNames = std::vector<std::string_view>;

// The first id of a volatile key: the ids of the database file stay far below it, and
// those of the run-time database within what the change log can name.
constexpr int64_t kVolatileKeyBase = int64_t{1} << 56;
static_assert(kVolatileKeyBase * 2 <= kKeyIdLimit, "volatile ids fit the change log");
inline bool IsVolatileKey(int64_t key) { return key >= kVolatileKeyBase; }

// What RegQueryInfoKeyA reports.
struct KeySummary {
  SubkeyList subkeys;
  ValueList values;
  int64_t last_write;
  std::string key_class;
};

class Store {
 public:
  explicit Store(int root) : root_(root) {}
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // The key reached from `from` through `names` (KeyPath.h). ERROR_FILE_NOT_FOUND if
  // there is none, ERROR_KEY_DELETED if `from` is gone, ERROR_ACCESS_DENIED if
  // `for_writing` and the root is read-only.
  LONG OpenKey(const KeyRef& from, const KeyNames& names, bool for_writing, KeyRef* key);
  // As OpenKey, but creates each missing key on the way, volatile if `volatile_key`;
  // *created tells whether the last one was new, which alone gets `key_class`. An existing
  // key is opened as it is. ERROR_ACCESS_DENIED if a key must be created on a read-only
  // root; ERROR_CHILD_MUST_BE_VOLATILE if a non-volatile key would be created under a
  // volatile one.
  LONG CreateKey(const KeyRef& from, const KeyNames& names, std::string_view key_class,
                 bool volatile_key, bool for_writing, KeyRef* key, bool* created);
  // Deletes the key reached from `from` through `names` (`from` itself if there are
  // none): ERROR_ACCESS_DENIED if it has subkeys, is the root, or the root is read-only.
  LONG DeleteKey(const KeyRef& from, const KeyNames& names);

  // ERROR_FILE_NOT_FOUND if the key has no value `name`.
  LONG QueryValue(const KeyRef& key, std::string_view name, StoredValue* value);
  LONG SetValue(const KeyRef& key, std::string_view name, DWORD type, const BYTE* data, DWORD size);
  LONG DeleteValue(const KeyRef& key, std::string_view name);

  // The key's subkeys or values in enumeration order. The lists are shared with the cache
  // and do not change; ask again after a write to see it.
  LONG ListSubkeys(const KeyRef& key, SubkeyList* list);
  LONG ListValues(const KeyRef& key, ValueList* list);
  LONG Summarize(const KeyRef& key, KeySummary* summary);

  // Sets *writable to whether this process may write the root (see the file comment).
  LONG MayWrite(bool* writable);

  // For a watcher of `key`: ERROR_KEY_DELETED if it is gone, else ERROR_SUCCESS and the
  // shared file whose change log tells of its changes (ChangeReader).
  LONG Watch(const KeyRef& key, std::string* shared_file);

  // Closes the database and forgets everything, so that the next call starts afresh.
  void Close();
  // Around fork(): the child must not inherit an open SQLite connection, so the store is
  // closed and held locked while the process forks.
  void LockAndClose();
  void Unlock() { mutex_.unlock(); }

  // Care of the store, for StoreCare.h: each takes the store lock and fails with
  // ERROR_ACCESS_DENIED on a root this process may not write. *problem says in words why
  // one failed with ERROR_BADDB.
  LONG Check(StoreCounts* counts, std::string* problem);
  LONG Backup(const std::string& path, std::string* problem);
  // Replaces the whole tree with that of `source`, which Examine found sound, in one
  // transaction. A damaged database is first set aside (SetAside).
  LONG Restore(Database& source, std::string* problem);

  // Ends this store's part of the calling thread's transaction, which its calls joined:
  // commits it, or rolls it back unless `commit`. Returns the commit's result.
  LONG Leave(bool commit);

 private:
  enum class State { kClosed, kOpen, kAbsent, kBroken };
  class CallEnd;

  // Opens the root's database if it has one. Without one, a call that only reads answers
  // from an empty root and creates nothing; `create` (a call that writes) makes it.
  LONG EnsureOpen(bool create);
  LONG PrepareFiles(bool create);
  LONG OpenDatabase();
  void CloseDatabase();
  void CloseFiles();
  LONG Break(LONG error);
  void CloseLocked();
  LONG OpenForCare(std::string* problem);
  LONG SetAside();

  // Calls inside the thread's transaction (StoreTransaction.h).
  template <typename Op>
  LONG Joined(Op op, bool writing, bool* handled);
  LONG Join();
  LONG FailJoined(LONG status);
  // Run `op` as one call, waiting for other processes until `deadline` (MonotonicNanos)
  // in all, opening the store included; by default a minute from now (CallDeadline).
  // A read creates no database unless `create` (a watch, which must see the first writer).
  // A read's default is kDeadlineAtFirstWait: most reads are answered by the cache and
  // never wait, and reading the clock cost each of them a third of its time. A write's
  // default is the same inside a transaction, which holds the lock, and a minute from
  // now otherwise.
  template <typename Op>
  LONG Read(int64_t deadline, Op op, bool create = false);
  template <typename Op>
  LONG Read(Op op) {
    return Read(kDeadlineAtFirstWait, op);
  }
  template <typename Op>
  LONG Write(int64_t deadline, Op op);
  template <typename Op>
  LONG Write(Op op) {
    return Write(kDeadlineAtFirstWait, op);
  }
  static int64_t CallDeadline();
  // A deadline the wait limit (CallDeadline) from the moment the call first needs the
  // store lock or the database, which Deadline() sets.
  static constexpr int64_t kDeadlineAtFirstWait = INT64_MIN;
  // The call's deadline, setting it and the database's now if it is kDeadlineAtFirstWait.
  // Everything that waits or uses a database asks for it first.
  int64_t Deadline();
  LONG FindKey(const KeyRef& from, const KeyNames& names, bool for_writing, KeyRef* key,
               int64_t deadline);
  void StartRead();
  void FinishRead();
  void StartWrite();
  void StartTracking();
  void FinishWrite();
  LONG Recover(const DatabaseError& error);
  void UseDatabase();
  bool UseVolatile(bool create);
  bool VolatileMayExist() const;
  LONG OpenVolatile(bool create);
  Database& DatabaseOf(int64_t key);
  void LockStore();
  void EndCall();

  // Lookups and changes for the operations above, through the cache.
  bool Alive(int64_t key);
  int64_t Subkey(int64_t parent, const std::string& folded);
  LONG Resolve(const KeyRef& from, const KeyNames& names, int64_t* id);
  // Records in the cache that this process deleted `id`, the subkey `folded` of `parent`,
  // keeping the path Resolve remembers up to the key deleted.
  void ForgetDeletedKey(int64_t parent, const std::string& folded, int64_t id);
  bool FindValue(int64_t key, const std::string& folded, StoredValue* value);
  SubkeyList Subkeys(int64_t key);
  ValueList Values(int64_t key);
  int64_t LastWriteTime(int64_t key);
  std::string KeyClass(int64_t key);
  bool HasSubkeys(int64_t key);
  // Whether this thread's transaction has joined this store: its calls then share one
  // SQLite transaction, under the store lock.
  bool InTransaction() const;
  int64_t WriteTime();
  static constexpr uint8_t kValueSet = 1, kValueDeleted = 2;  // Touch's `how`
  void Touch(int64_t key, uint8_t how = 0);
  void WriteTouches();
  void NoteChange(int64_t key, uint32_t bits);

  const int root_;
  std::mutex mutex_;
  State state_ = State::kClosed;
  LONG broken_error_ = ERROR_SUCCESS;
  // The damaged file's identity: once another file is in its place, the store looks again.
  dev_t broken_device_ = 0;
  ino_t broken_inode_ = 0;
  StoreLocation location_;
  bool read_only_ = false;
  SharedFile shared_;
  StoreLock lock_;
  Database db_;
  StoreLocation volatile_location_;
  Database volatile_db_;  // the run-time database, once used
  GenerationCounter generation_;
  KeyCache cache_;
  ChangeLog changes_;
  // Each key's parent, for the change log. Keys never move and ids are never reused, so
  // an entry never goes stale.
  std::unordered_map<int64_t, int64_t> parents_;

  // Per call.
  int64_t deadline_ = 0;
  uint64_t seen_generation_ = 0;
  bool caching_ = false;
  bool in_transaction_ = false;
  bool volatile_in_transaction_ = false;
  bool writing_ = false;  // the call's transactions are write transactions
  bool changed_ = false;
  // Keys whose last-write time the transaction has yet to write (Touch), and the time.
  struct Touched {
    int64_t key;
    uint8_t how;
  };
  std::vector<Touched> touched_;
  int64_t transaction_time_ = 0;  // 0 until the transaction's first write (WriteTime)
  // The last path Resolve walked through the cache, as given, and the key each of its
  // names led to: a write-back opens each key once for each of its values, by the same
  // path, and a walk opens the keys of one parent one after another, by paths that differ
  // in their last name only.
  struct Resolved {
    uint64_t epoch = 0;  // the cache's epoch then; never 0 once set
    int64_t from = 0;
    std::vector<std::string> names;
    std::vector<int64_t> ids;  // ids[i]: the key that names[0] to names[i] lead to
  };
  Resolved resolved_;
  // The key Resolve last reached and the cache's epoch then: while the epoch stays the
  // same the key is there, so the calls on its handle that follow, a value written or
  // read for each of its values, need not look it up to know it.
  struct Reached {
    int64_t id = 0;
    uint64_t epoch = 0;
  };
  Reached reached_;
};

// The store of the root with index `root` (StoreLocation.h).
Store& StoreFor(int root);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORE_H_
