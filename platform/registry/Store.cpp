#include "platform/registry/Store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/registry/KeyPath.h"
#include "platform/registry/NameFold.h"
#include "platform/registry/RegistryStore.h"

namespace ruzide::registry {

namespace {

// Returned by Recover when the call should start over.
constexpr LONG kRetry = -1;
// How long a call may wait for other processes in all, from its start.
std::atomic<int64_t> wait_limit_nanos{60'000'000'000};
// Returned by Join for a store whose calls cannot join a transaction.
constexpr LONG kUnjoinable = -2;

// FILETIME ticks: 100 ns since 1601-01-01.
int64_t FileTimeNow() {
  constexpr int64_t kTicksFrom1601To1970 = 116444736000000000;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return kTicksFrom1601To1970 + int64_t{now.tv_sec} * 10'000'000 + now.tv_nsec / 100;
}

// Creates `folder` and any missing parents with `mode`; true if it exists afterwards.
bool MakeFolder(const std::string& folder, mode_t mode) {
  struct stat info;
  if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolder(folder.substr(0, slash), mode)) {
    return false;
  }
  return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

// Whether `file` may hold a database, or something at its place needs a closer look: false
// only when nothing is there, or an empty file, which is no database yet either.
bool HasDatabase(const std::string& file) {
  struct stat info;
  if (lstat(file.c_str(), &info) != 0) return errno != ENOENT;
  return !S_ISREG(info.st_mode) || info.st_size != 0;
}

// Whether this process could create a file in `folder`, making it if it is missing: the
// nearest folder that exists must be one it may write.
bool MayCreate(std::string folder) {
  struct stat info;
  while (stat(folder.c_str(), &info) != 0) {
    size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return access(".", W_OK) == 0;
    folder.resize(slash == 0 ? 1 : slash);
  }
  return S_ISDIR(info.st_mode) && access(folder.c_str(), W_OK) == 0;
}

// A number for this boot of the machine, never 0: the kernel's boot id hashed. Where there
// is none to read, the same number every boot, which only makes processes look for a
// run-time database that a restart removed.
uint64_t BootId() {
  static const uint64_t id = [] {
    char text[64];
    ssize_t length = -1;
    int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      length = read(fd, text, sizeof text);
      close(fd);
    }
    uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (ssize_t i = 0; i < length; ++i) {
      hash = (hash ^ static_cast<unsigned char>(text[i])) * 1099511628211u;
    }
    return hash | 1;
  }();
  return id;
}

}  // namespace

// ---- Opening and closing ----

LONG Store::EnsureOpen(bool create) {
  switch (state_) {
    case State::kOpen:
      return ERROR_SUCCESS;
    case State::kBroken: {
      // Until the file is replaced, as `ruzide store restore` does.
      struct stat info;
      if (stat(location_.database.c_str(), &info) == 0 && info.st_dev == broken_device_ &&
          info.st_ino == broken_inode_) {
        return broken_error_;
      }
      location_ = LocateStore(root_);
      break;
    }
    case State::kAbsent: {
      // No database yet: look again, since a writer may have made one.
      if (!HasDatabase(location_.database) && (!create || read_only_)) return ERROR_SUCCESS;
      break;
    }
    case State::kClosed:
      location_ = LocateStore(root_);
      break;
  }
  LONG status = PrepareFiles(create);
  if (status == ERROR_FILE_NOT_FOUND) {
    state_ = State::kAbsent;
    return ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS) return status;
  // Opening reads the database, and may meet a process that is creating it.
  status = OpenDatabase();
  while (status == ERROR_LOCK_VIOLATION && MonotonicNanos() < Deadline()) {
    timespec pause = {0, 200'000};
    nanosleep(&pause, nullptr);
    status = OpenDatabase();
  }
  if (status == ERROR_FILE_NOT_FOUND && read_only_) {
    CloseFiles();
    state_ = State::kAbsent;
    return ERROR_SUCCESS;
  }
  if (status == ERROR_BADDB) return Break(status);
  if (status != ERROR_SUCCESS) {
    CloseFiles();  // perhaps passing; try again next call
    return status;
  }
  cache_.Reset(KeyCache::kUntagged);
  state_ = State::kOpen;
  return ERROR_SUCCESS;
}

// Decides whether this process may write the root, creating the folder, an empty file and
// the shared file if it may. Returns ERROR_FILE_NOT_FOUND when there is no database to
// open (read-only and none yet), ERROR_BADDB when the file is damaged, and the code that
// names it when the folder or a file cannot be used (see CheckStoreFolder, CheckSideFiles).
LONG Store::PrepareFiles(bool create) {
  LONG status = CheckStoreFolder(location_);
  if (status != ERROR_SUCCESS) return status;
  if (!create && !HasDatabase(location_.database)) {
    // A call that only reads leaves no folder or file behind (`reg query` of an empty store,
    // the tool's help); whether a write could make them decides only what it is refused.
    read_only_ = location_.listed_read_only || !MayCreate(location_.folder);
    return ERROR_FILE_NOT_FOUND;
  }
  read_only_ = location_.listed_read_only || !MakeFolder(location_.folder, location_.folder_mode) ||
               access(location_.folder.c_str(), W_OK) != 0;
  // MakeFolder may just have made it.
  status = CheckStoreFolder(location_);
  if (status != ERROR_SUCCESS) return status;
  const std::string& file = location_.database;
  switch (CheckDatabaseFile(file, &status)) {
    case FileState::kCorrupt:
      return Break(ERROR_BADDB);
    case FileState::kUnreadable:
      return status;  // perhaps passing; looked at again next call
    case FileState::kPlausible:
      if (access(file.c_str(), W_OK) != 0) read_only_ = true;
      break;
    case FileState::kMissing:
    case FileState::kEmpty:
      if (read_only_) return ERROR_FILE_NOT_FOUND;
      {
        // Created here rather than by SQLite so that it has the right mode from the start;
        // SQLite gives its -wal and -shm files the database file's mode.
        int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                      location_.file_mode);
        if (fd < 0) return ERROR_FILE_NOT_FOUND;  // so read-only, and nothing to read
        close(fd);
      }
      break;
  }
  status = CheckSideFiles(location_, !read_only_);
  if (status != ERROR_SUCCESS) return status;
  // Every process that uses the database maps the shared file, read-only ones too, since
  // it holds the store lock. One that cannot write it could move no counter, and other
  // processes would go on trusting caches that its writes made stale: it may not write
  // the root, and it reads as an outside reader (StoreLock.h).
  if (!shared_.Open(location_.generation, location_.file_mode)) return ERROR_REGISTRY_IO_FAILED;
  if (!shared_.writable()) read_only_ = true;
  generation_.Attach(shared_.generation(), !read_only_);
  changes_.Attach(read_only_ ? nullptr : shared_.changes(), shared_.fd());
  lock_.Attach(&shared_);
  return ERROR_SUCCESS;
}

LONG Store::OpenDatabase() {
  LONG status = lock_.Acquire(Deadline());
  if (status != ERROR_SUCCESS) return status;
  status = db_.Open(location_.database, read_only_, lock_.serialised() ? &lock_ : nullptr);
  lock_.Release();
  return status;
}

void Store::CloseDatabase() {
  if (!db_.is_open() && !volatile_db_.is_open()) return;
  // Closing the last connection checkpoints and removes the WAL, which needs the lock;
  // without it the connection closes leaving the files as they are.
  if (lock_.Acquire(CallDeadline()) != ERROR_SUCCESS) {
    db_.Abandon();
    volatile_db_.Abandon();
  }
  volatile_db_.Close();
  db_.Close();
  lock_.Release();
}

void Store::CloseFiles() {
  changes_.Attach(nullptr, -1);
  lock_.Detach();
  generation_.Detach();
  shared_.Close();
}

LONG Store::Break(LONG error) {
  // A damaged file is neither checkpointed into nor otherwise written, so closing needs
  // no lock: no transaction is open and the connection leaves the files alone.
  db_.Abandon();
  db_.Close();
  volatile_db_.Abandon();
  volatile_db_.Close();
  CloseFiles();
  cache_.Reset(KeyCache::kUntagged);
  state_ = State::kBroken;
  broken_error_ = error;
  struct stat info;
  if (stat(location_.database.c_str(), &info) != 0) info.st_dev = info.st_ino = 0;
  broken_device_ = info.st_dev;
  broken_inode_ = info.st_ino;
  return error;
}

void Store::CloseLocked() {
  CloseDatabase();
  CloseFiles();
  cache_.Reset(KeyCache::kUntagged);
  state_ = State::kClosed;
  read_only_ = false;
}

int64_t Store::CallDeadline() {
  return MonotonicNanos() + wait_limit_nanos.load(std::memory_order_relaxed);
}

int64_t Store::Deadline() {
  if (deadline_ == kDeadlineAtFirstWait) {
    deadline_ = CallDeadline();
    db_.set_deadline(deadline_);
  }
  return deadline_;
}

void SetStoreWaitLimit(int64_t nanos) { wait_limit_nanos.store(nanos, std::memory_order_relaxed); }

void Store::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseLocked();
}

void Store::LockAndClose() {
  mutex_.lock();
  CloseLocked();
}

// ---- Calls and transactions ----

// Ends a call's transaction and releases the store lock however the call ends: another
// process must never be able to take the lock while this one has a transaction open.
class Store::CallEnd {
 public:
  explicit CallEnd(Store* store) : store_(store) {}
  CallEnd(const CallEnd&) = delete;
  CallEnd& operator=(const CallEnd&) = delete;
  ~CallEnd() { store_->EndCall(); }

 private:
  Store* store_;
};

// ---- Calls inside a thread's transaction ----

// Runs `op` as part of the thread's transaction if it has one that this store can join;
// sets *handled to false when the call must run as a transaction of its own instead.
template <typename Op>
LONG Store::Joined(Op op, bool writing, bool* handled) {
  ThreadTransaction& transaction = CurrentTransaction();
  *handled = transaction.depth > 0;
  if (!*handled) return ERROR_SUCCESS;
  if (transaction.failed[root_] != ERROR_SUCCESS) return transaction.failed[root_];
  if (transaction.joined[root_] != this) {
    LONG status = Join();
    if (status == kUnjoinable) {
      *handled = false;
      return ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS) {
      transaction.failed[root_] = status;
      return status;
    }
    transaction.joined[root_] = this;
  }
  if (writing && read_only_) return ERROR_ACCESS_DENIED;
  // Each write forgets the lists it may have changed, as a commit does, so that later
  // reads of the transaction see it.
  const bool changed_before = changed_;
  changed_ = false;
  try {
    LONG status = op();
    if (changed_) cache_.ForgetLists();
    changed_ = changed_ || changed_before;
    return status;
  } catch (const DatabaseError& error) {
    return FailJoined(ErrorForDatabase(error.code));
  }
}

// Takes this process's hold on the store and the store lock, both kept until Leave, and
// begins the transaction. kUnjoinable for a store without a database, or one this
// process reads as an outside reader, whose calls stay transactions of their own.
LONG Store::Join() {
  mutex_.lock();
  // The transaction waits for other processes as one call would, from its first call.
  deadline_ = CallDeadline();
  db_.set_deadline(deadline_);
  LONG status = EnsureOpen(true);
  if (status == ERROR_SUCCESS && (state_ != State::kOpen || !lock_.serialised())) {
    status = kUnjoinable;
  }
  if (status == ERROR_SUCCESS) {
    try {
      LockStore();
      if (read_only_) {
        db_.BeginRead();
      } else {
        db_.BeginWrite();
      }
      in_transaction_ = true;
      writing_ = !read_only_;
    } catch (const DatabaseError& error) {
      EndCall();
      status = ErrorForDatabase(error.code);
      if (status == ERROR_BADDB) Break(status);
    }
  }
  if (status != ERROR_SUCCESS) {
    mutex_.unlock();
    return status;
  }
  StartTracking();
  return ERROR_SUCCESS;
}

// Rolls this store's part back at once, lets go of the store, and makes the rest of the
// transaction's calls on it fail with `status`.
LONG Store::FailJoined(LONG status) {
  touched_.clear();
  EndCall();
  cache_.Reset(KeyCache::kUntagged);
  if (status == ERROR_BADDB) Break(status);
  ThreadTransaction& transaction = CurrentTransaction();
  transaction.joined[root_] = nullptr;
  transaction.failed[root_] = status;
  mutex_.unlock();
  return status;
}

LONG Store::Leave(bool commit) {
  LONG status = ERROR_SUCCESS;
  if (!commit) {
    touched_.clear();
    EndCall();
    cache_.Reset(KeyCache::kUntagged);
  } else {
    try {
      WriteTouches();
      FinishWrite();
    } catch (const DatabaseError& error) {
      touched_.clear();
      EndCall();
      cache_.Reset(KeyCache::kUntagged);
      status = ErrorForDatabase(error.code);
      if (status == ERROR_BADDB) Break(status);
    }
  }
  mutex_.unlock();
  return status;
}

// ---- Calls of their own ----

template <typename Op>
LONG Store::Read(int64_t deadline, Op op, bool create) {
  bool joined;
  LONG joined_status = Joined(op, false, &joined);
  if (joined) return joined_status;
  std::lock_guard<std::mutex> lock(mutex_);
  deadline_ = deadline;
  if (deadline != kDeadlineAtFirstWait) db_.set_deadline(deadline);
  LONG status = EnsureOpen(create);
  if (status != ERROR_SUCCESS) return status;
  CallEnd end(this);
  for (;;) {
    try {
      StartRead();
      status = op();
      FinishRead();
      return status;
    } catch (const DatabaseError& error) {
      status = Recover(error);
      if (status != kRetry) return status;
    }
  }
}

template <typename Op>
LONG Store::Write(int64_t deadline, Op op) {
  bool joined;
  LONG joined_status = Joined(op, true, &joined);
  if (joined) return joined_status;
  // A write of its own takes the lock at once, so its limit starts now.
  if (deadline == kDeadlineAtFirstWait) deadline = CallDeadline();
  std::lock_guard<std::mutex> lock(mutex_);
  deadline_ = deadline;
  db_.set_deadline(deadline);
  LONG status = EnsureOpen(true);
  if (status != ERROR_SUCCESS) return status;
  if (read_only_ || state_ != State::kOpen) return ERROR_ACCESS_DENIED;
  CallEnd end(this);
  for (;;) {
    try {
      StartWrite();
      status = op();
      FinishWrite();
      return status;
    } catch (const DatabaseError& error) {
      status = Recover(error);
      if (status != kRetry) return status;
    }
  }
}

// A read uses the cache only if the counter is even and matches it; whatever it reads
// from the database it adds, and FinishRead drops it all again if the counter moved.
void Store::StartRead() {
  writing_ = false;
  seen_generation_ = generation_.Load();
  caching_ = GenerationCounter::Stable(seen_generation_);
  if (!caching_) {
    cache_.Reset(KeyCache::kUntagged);
  } else if (cache_.tag() != seen_generation_) {
    cache_.Reset(seen_generation_);
  }
}

void Store::FinishRead() {
  if (volatile_in_transaction_) {
    volatile_in_transaction_ = false;
    volatile_db_.Commit();
  }
  if (in_transaction_) {
    in_transaction_ = false;
    db_.Commit();
  }
  lock_.Release();
  if (caching_ && generation_.Load() != seen_generation_) cache_.Reset(KeyCache::kUntagged);
}

// Under the store lock the database cannot change behind this process, so the cache,
// once checked against the counter, may be read and filled freely.
// At the start of a transaction that may write: no change recorded yet, and the cache kept
// only if the counter is even and still the one it was filled at.
void Store::StartTracking() {
  changed_ = false;
  transaction_time_ = 0;
  changes_.Discard();
  seen_generation_ = generation_.Load();
  if (!GenerationCounter::Stable(seen_generation_) || cache_.tag() != seen_generation_) {
    cache_.Reset(KeyCache::kUntagged);
  }
  caching_ = true;
}

void Store::StartWrite() {
  LockStore();
  db_.BeginWrite();
  in_transaction_ = true;
  writing_ = true;
  StartTracking();
}

void Store::FinishWrite() {
  if (!changed_) {
    in_transaction_ = false;
    volatile_in_transaction_ = false;
    volatile_db_.Rollback();
    db_.Rollback();
    lock_.Release();
    if (GenerationCounter::Stable(seen_generation_)) {
      cache_.Retag(seen_generation_);
    } else {
      cache_.Reset(KeyCache::kUntagged);
    }
    return;
  }
  generation_.BeginCommit();
  try {
    // The store lock keeps both commits from every other process's view until both are
    // done. A crash between them can leave only the last-write time of a volatile key's
    // non-volatile parent unchanged, the one thing a volatile change writes to the file.
    if (volatile_in_transaction_) {
      volatile_in_transaction_ = false;
      volatile_db_.Commit();
    }
    db_.Commit();
  } catch (...) {
    generation_.EndCommit();
    throw;
  }
  in_transaction_ = false;
  cache_.ForgetLists();
  cache_.Retag(generation_.EndCommit());
  changes_.Publish();
  lock_.Release();
}

LONG Store::Recover(const DatabaseError& error) {
  EndCall();
  cache_.Reset(KeyCache::kUntagged);
  if (IsBusy(error.code) && MonotonicNanos() < Deadline()) {
    timespec pause = {0, 50'000};
    nanosleep(&pause, nullptr);
    return kRetry;
  }
  LONG status = ErrorForDatabase(error.code);
  return status == ERROR_BADDB ? Break(status) : status;
}

void Store::UseDatabase() {
  if (!in_transaction_) {
    LockStore();
    db_.BeginRead();
    in_transaction_ = true;
  }
}

// Opens the run-time database if it exists (or, with `create`, creating it) and joins it
// to the call's transaction; false if there is none.
bool Store::UseVolatile(bool create) {
  UseDatabase();
  if (!volatile_db_.is_open()) {
    if (!create && !VolatileMayExist()) return false;
    LONG status = OpenVolatile(create);
    if (status == ERROR_FILE_NOT_FOUND && !create) return false;
    if (status != ERROR_SUCCESS) {
      volatile_db_.Close();
      throw ErrorFor(status);
    }
  }
  if (!volatile_in_transaction_) {
    volatile_db_.set_deadline(Deadline());
    if (writing_) {
      volatile_db_.BeginWrite();
    } else {
      volatile_db_.BeginRead();
    }
    volatile_in_transaction_ = true;
  }
  return true;
}

// A word in memory, so that a store without volatile keys, the usual case, pays nothing
// for looking beyond the database file.
bool Store::VolatileMayExist() const {
  const uint64_t* boot = shared_.run_time_boot();
  return boot != nullptr && __atomic_load_n(boot, __ATOMIC_RELAXED) == BootId();
}

// Opens the run-time database, which lives as long as the database file's identity and
// the boot. Returns ERROR_FILE_NOT_FOUND when there is none and `create` is not set or
// the root is read-only; otherwise as CheckStoreFolder, CheckSideFiles and Database::Open.
LONG Store::OpenVolatile(bool create) {
  struct stat file;
  if (stat(location_.database.c_str(), &file) != 0) return ErrorForFileSystem(errno);
  volatile_location_ = RunTimeLocation(location_, file.st_dev, file.st_ino);
  const StoreLocation& place = volatile_location_;
  LONG status = CheckRunTimeFolder(place);
  if (status != ERROR_SUCCESS) return status;
  if (create && !read_only_) {
    if (mkdir(place.folder.c_str(), place.folder_mode) != 0 && errno != EEXIST) {
      return ErrorForFileSystem(errno);
    }
    status = CheckRunTimeFolder(place);  // the folder found may be someone else's
    if (status != ERROR_SUCCESS) return status;
    int fd = open(place.database.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                  place.file_mode);
    if (fd < 0) return ErrorForFileSystem(errno);
    close(fd);
  }
  switch (CheckDatabaseFile(place.database, &status)) {
    case FileState::kCorrupt:
      return ERROR_BADDB;
    case FileState::kUnreadable:
      return status;
    case FileState::kMissing:
      return ERROR_FILE_NOT_FOUND;
    case FileState::kEmpty:
      if (read_only_) return ERROR_FILE_NOT_FOUND;
      break;
    case FileState::kPlausible:
      break;
  }
  status = CheckSideFiles(place, !read_only_);
  if (status != ERROR_SUCCESS) return status;
  status = volatile_db_.Open(place.database, read_only_, lock_.serialised() ? &lock_ : nullptr);
  if (status != ERROR_SUCCESS || read_only_) return status;
  try {
    volatile_db_.ReserveKeyIds(kVolatileKeyBase);
  } catch (...) {
    volatile_db_.Close();  // never to be written with ids that the file may use
    throw;
  }
  // Under the store lock, before the first volatile key commits.
  __atomic_store_n(shared_.run_time_boot(), BootId(), __ATOMIC_RELAXED);
  return ERROR_SUCCESS;
}

// The database that holds `key`. A volatile key's run-time database is gone only if
// someone removed it behind the store's back.
Database& Store::DatabaseOf(int64_t key) {
  if (!IsVolatileKey(key)) return db_;
  if (!UseVolatile(false)) throw ErrorFor(ERROR_REGISTRY_IO_FAILED);
  return volatile_db_;
}

void Store::LockStore() {
  if (lock_.held()) return;
  LONG status = lock_.Acquire(Deadline());
  if (status != ERROR_SUCCESS) throw ErrorFor(status);
}

void Store::EndCall() {
  // A transaction begins only under the lock, so a call that never took it (most reads
  // answered by the cache) has nothing to end.
  if (!lock_.held()) return;
  volatile_db_.Rollback();
  volatile_in_transaction_ = false;
  db_.Rollback();
  in_transaction_ = false;
  lock_.Release();
}

// ---- Lookups through the cache ----

bool Store::Alive(int64_t key) {
  if (key == kRootKey) return true;
  if (state_ != State::kOpen) return false;
  if (caching_ && key == reached_.id && reached_.epoch == cache_.epoch()) return true;
  bool alive;
  if (caching_ && cache_.FindAlive(key, &alive)) return alive;
  UseDatabase();
  alive =
      IsVolatileKey(key) ? UseVolatile(false) && volatile_db_.KeyExists(key) : db_.KeyExists(key);
  if (caching_) cache_.PutAlive(key, alive);
  return alive;
}

int64_t Store::Subkey(int64_t parent, const std::string& folded) {
  int64_t id;
  if (caching_ && cache_.FindSubkey(parent, folded, &id)) return id;
  if (state_ != State::kOpen) return 0;
  UseDatabase();
  // A volatile key's subkeys are all volatile; a non-volatile key's may be either.
  id = IsVolatileKey(parent) ? 0 : db_.FindSubkey(parent, folded);
  if (id == 0 && UseVolatile(false)) id = volatile_db_.FindSubkey(parent, folded);
  if (caching_) cache_.PutSubkey(parent, folded, id);
  return id;
}

LONG Store::Resolve(const KeyRef& from, const KeyNames& names, int64_t* id) {
  // The same names from the same key, spelt the same, while the cache's epoch says that
  // no key has gone meanwhile, lead to the same keys: the walk starts after the names it
  // shares with the last one.
  const bool memo = caching_ && !names.empty();
  size_t same = 0;
  if (memo && resolved_.epoch == cache_.epoch() && resolved_.from == from.id) {
    while (same < names.size() && same < resolved_.names.size() &&
           names[same] == resolved_.names[same]) {
      ++same;
    }
  }
  if (same == 0 && !Alive(from.id)) return ERROR_KEY_DELETED;
  int64_t key = same == 0 ? from.id : resolved_.ids[same - 1];
  if (memo) {
    // The epoch as the walk starts: one that moves during it voids what it finds.
    resolved_.epoch = cache_.epoch();
    resolved_.from = from.id;
    resolved_.names.resize(same);
    resolved_.ids.resize(same);
  }
  for (size_t i = same; i < names.size(); ++i) {
    key = Subkey(key, FoldName(names[i]));
    if (key == 0) return ERROR_FILE_NOT_FOUND;
    if (memo) {
      resolved_.names.emplace_back(names[i]);
      resolved_.ids.push_back(key);
    }
  }
  if (memo) reached_ = {key, resolved_.epoch};
  *id = key;
  return ERROR_SUCCESS;
}

void Store::ForgetDeletedKey(int64_t parent, const std::string& folded, int64_t id) {
  const bool resolved_current = resolved_.epoch == cache_.epoch();
  // Each moves the cache's epoch on, which voids the remembered path.
  cache_.PutSubkey(parent, folded, 0);
  cache_.PutAlive(id, false);
  // A deletion changes nothing on the remembered path before the key deleted, which, as
  // a key with subkeys is never deleted, can only be its last. Deleting a subtree opens
  // each key by its path and then deletes it: with the path kept to the parent, the next
  // key's path costs one lookup, of the name after the one just deleted, where the key
  // index finds it without hashing (KeyIndex.h).
  if (!resolved_current || resolved_.from == id) return;
  auto at = std::find(resolved_.ids.begin(), resolved_.ids.end(), id);
  resolved_.names.resize(at - resolved_.ids.begin());
  resolved_.ids.erase(at, resolved_.ids.end());
  resolved_.epoch = cache_.epoch();
}

bool Store::FindValue(int64_t key, const std::string& folded, StoredValue* value) {
  ValueView cached;
  if (caching_ && cache_.FindValue(key, folded, &cached)) {
    if (cached.present) {
      value->type = cached.type;
      value->data.assign(cached.data);
    }
    return cached.present;
  }
  if (state_ != State::kOpen) return false;
  UseDatabase();
  bool found = DatabaseOf(key).FindValue(key, folded, value);
  if (caching_) cache_.PutValue(key, folded, found ? value : nullptr);
  return found;
}

SubkeyList Store::Subkeys(int64_t key) {
  SubkeyList list = caching_ ? cache_.FindSubkeys(key) : nullptr;
  if (list != nullptr) return list;
  std::vector<SubkeyEntry> entries;
  if (state_ == State::kOpen) {
    UseDatabase();
    WriteTouches();
    const bool many = InTransaction();
    entries = DatabaseOf(key).ListSubkeys(key, many);
    if (!IsVolatileKey(key) && UseVolatile(false)) {
      std::vector<SubkeyEntry> both, more = volatile_db_.ListSubkeys(key, many);
      std::merge(entries.begin(), entries.end(), more.begin(), more.end(), std::back_inserter(both),
                 [](const SubkeyEntry& a, const SubkeyEntry& b) {
                   return FoldName(a.name) < FoldName(b.name);
                 });
      entries.swap(both);
    }
  }
  list = std::make_shared<const std::vector<SubkeyEntry>>(std::move(entries));
  if (caching_) cache_.PutSubkeys(key, list);
  return list;
}

ValueList Store::Values(int64_t key) {
  ValueList list = caching_ ? cache_.FindValues(key) : nullptr;
  if (list != nullptr) return list;
  std::vector<ValueEntry> entries;
  if (state_ == State::kOpen) {
    UseDatabase();
    entries = DatabaseOf(key).ListValues(key);
  }
  list = std::make_shared<const std::vector<ValueEntry>>(std::move(entries));
  if (caching_) cache_.PutValues(key, list);
  return list;
}

int64_t Store::LastWriteTime(int64_t key) {
  int64_t time = 0;
  if (caching_ && cache_.FindLastWriteTime(key, &time)) return time;
  if (state_ != State::kOpen) return 0;
  UseDatabase();
  WriteTouches();
  time = DatabaseOf(key).LastWriteTime(key);
  if (caching_) cache_.PutLastWriteTime(key, time);
  return time;
}

std::string Store::KeyClass(int64_t key) {
  std::string key_class;
  if (caching_ && cache_.FindClass(key, &key_class)) return key_class;
  if (state_ != State::kOpen || key == kRootKey) return key_class;
  UseDatabase();
  key_class = DatabaseOf(key).KeyClass(key);
  if (caching_) cache_.PutClass(key, key_class);
  return key_class;
}

bool Store::InTransaction() const { return CurrentTransaction().joined[root_] == this; }

bool Store::HasSubkeys(int64_t key) {
  // A transaction deletes mostly subtrees: many keys of consecutive ids.
  const bool many = InTransaction();
  if (DatabaseOf(key).HasSubkeys(key, many)) return true;
  return !IsVolatileKey(key) && UseVolatile(false) && volatile_db_.HasSubkeys(key, many);
}

// The time a write records: now, or inside a transaction the time of its first write on
// the root, which every last-write time it sets shares. One time for all makes a value row
// the transaction wrote carry its key's last-write time, so the key's own row need not be
// written as well (WriteTouches).
int64_t Store::WriteTime() {
  if (transaction_time_ != 0) return transaction_time_;
  const int64_t now = FileTimeNow();
  if (InTransaction()) transaction_time_ = now;
  return now;
}

// Records a change to the key's values or subkeys in its last-write time: `how` tells
// whether a value row of the key was written (kValueSet), which itself holds the time, or
// deleted. Inside a transaction the time is written once per key, before anything reads
// times and at the commit: deleting a subtree would otherwise rewrite each parent's row
// once per child and each key's row once per value.
void Store::Touch(int64_t key, uint8_t how) {
  changed_ = true;
  if (InTransaction()) {
    WriteTime();
    // A walk changes one key after another: consecutive changes share an entry.
    if (!touched_.empty() && touched_.back().key == key) {
      touched_.back().how |= how;
    } else {
      touched_.push_back({key, how});
    }
  } else if (how != kValueSet) {
    DatabaseOf(key).SetLastWriteTime(key, key, FileTimeNow());
  }
}

// Writes the transaction's time to each key touched, except a key one of whose value rows
// holds that time already: the last-write time is the latest of the key's and its
// values'. A key that had a value deleted is written all the same, since the value
// deleted may be the one set.
void Store::WriteTouches() {
  if (touched_.empty()) return;
  // A walk over keys created in its order touches them in the order of their ids.
  auto by_key = [](const Touched& a, const Touched& b) { return a.key < b.key; };
  if (!std::is_sorted(touched_.begin(), touched_.end(), by_key)) {
    std::sort(touched_.begin(), touched_.end(), by_key);
  }
  const int64_t now = WriteTime();
  // Keys whose ids follow each other in one database are written in one statement.
  int64_t first = 0, last = 0;
  for (size_t i = 0; i < touched_.size();) {
    const int64_t key = touched_[i].key;
    uint8_t how = 0;
    for (; i < touched_.size() && touched_[i].key == key; ++i) how |= touched_[i].how;
    if (how == kValueSet) continue;
    if (first != 0 && key == last + 1 && IsVolatileKey(key) == IsVolatileKey(first)) {
      last = key;
      continue;
    }
    if (first != 0) DatabaseOf(first).SetLastWriteTime(first, last, now);
    first = last = key;
  }
  if (first != 0) DatabaseOf(first).SetLastWriteTime(first, last, now);
  touched_.clear();
}

// Notes for the change log that `key` changed, and that every key above it changed
// below.
void Store::NoteChange(int64_t key, uint32_t bits) {
  if (!changes_.attached() || changes_.saturated()) return;
  changes_.Record(key, bits);
  if (parents_.size() > 4096) parents_.clear();
  while (key != kRootKey) {
    auto known = parents_.find(key);
    int64_t parent;
    if (known != parents_.end()) {
      parent = known->second;
    } else {
      std::string folded;
      if (!DatabaseOf(key).KeyParent(key, &parent, &folded)) return;
      parents_.emplace(key, parent);
    }
    key = parent;
    changes_.Record(key, (bits & ~kKeyDeleted) | kBelow);
  }
}

// ---- Operations ----

LONG Store::OpenKey(const KeyRef& from, const KeyNames& names, bool for_writing, KeyRef* key) {
  return FindKey(from, names, for_writing, key, kDeadlineAtFirstWait);
}

LONG Store::FindKey(const KeyRef& from, const KeyNames& names, bool for_writing, KeyRef* key,
                    int64_t deadline) {
  return Read(deadline, [&]() -> LONG {
    int64_t id;
    LONG status = Resolve(from, names, &id);
    if (status != ERROR_SUCCESS) return status;
    if (for_writing && read_only_) return ERROR_ACCESS_DENIED;
    if (caching_) cache_.PrefetchValues(id);
    *key = KeyRef{id, from.depth + static_cast<int>(names.size())};
    return ERROR_SUCCESS;
  });
}

LONG Store::CreateKey(const KeyRef& from, const KeyNames& names, std::string_view key_class,
                      bool volatile_key, bool for_writing, KeyRef* key, bool* created) {
  *created = false;
  // One limit for the lookup and the write, unless a transaction holds the lock.
  const int64_t deadline = InTransaction() ? kDeadlineAtFirstWait : CallDeadline();
  // Most creates find the key there already; that needs no write lock.
  LONG status = FindKey(from, names, for_writing, key, deadline);
  if (status != ERROR_FILE_NOT_FOUND) return status;
  if (from.depth + names.size() > static_cast<size_t>(kMaxKeyDepth)) {
    return ERROR_INVALID_PARAMETER;
  }
  return Write(deadline, [&]() -> LONG {
    if (!Alive(from.id)) return ERROR_KEY_DELETED;
    int64_t id = from.id;
    for (size_t i = 0; i < names.size(); ++i) {
      std::string_view name = names[i];
      std::string folded = FoldName(name);
      int64_t child = Subkey(id, folded);
      *created = child == 0;
      if (*created) {
        // Only the first key created can have a volatile parent: the rest are new.
        if (IsVolatileKey(id) && !volatile_key) return ERROR_CHILD_MUST_BE_VOLATILE;
        Database& db = volatile_key && UseVolatile(true) ? volatile_db_ : db_;
        // Keys created on the way to the last one have no class, as in the registry.
        std::string_view own_class = i + 1 == names.size() ? key_class : std::string_view();
        child = db.InsertKey(id, name, folded, WriteTime(), own_class);
        Touch(id);
        NoteChange(id, kChangeName);
        cache_.PutCreatedSubkey(id, folded, child);
      }
      id = child;
    }
    *key = KeyRef{id, from.depth + static_cast<int>(names.size())};
    return ERROR_SUCCESS;
  });
}

LONG Store::DeleteKey(const KeyRef& from, const KeyNames& names) {
  return Write([&]() -> LONG {
    int64_t id;
    int64_t parent;
    std::string folded;
    if (names.empty()) {
      LONG status = Resolve(from, names, &id);
      if (status != ERROR_SUCCESS) return status;
      if (id == kRootKey || !DatabaseOf(id).KeyParent(id, &parent, &folded)) {
        return ERROR_ACCESS_DENIED;
      }
    } else {
      // The path gives the parent and the name, which spares reading the key's row.
      LONG status = Resolve(from, KeyNames(names.begin(), names.end() - 1), &parent);
      if (status != ERROR_SUCCESS) return status;
      folded = FoldName(names.back());
      id = Subkey(parent, folded);
      if (id == 0) return ERROR_FILE_NOT_FOUND;
    }
    if (HasSubkeys(id)) return ERROR_ACCESS_DENIED;
    changes_.Record(id, kKeyDeleted);
    NoteChange(parent, kChangeName);
    // Inside a transaction the rows of a subtree's keys go together, at the end or when
    // something must not see them.
    if (InTransaction()) {
      DatabaseOf(id).DeleteKeyLater(id);
    } else {
      DatabaseOf(id).DeleteKey(id);
    }
    // The key's own last-write time, which deleting its values had marked for writing
    // at the commit, has no row left to go to.
    while (!touched_.empty() && touched_.back().key == id) touched_.pop_back();
    Touch(parent);
    ForgetDeletedKey(parent, folded, id);
    return ERROR_SUCCESS;
  });
}

LONG Store::QueryValue(const KeyRef& key, std::string_view name, StoredValue* value) {
  return Read([&]() -> LONG {
    if (!Alive(key.id)) return ERROR_KEY_DELETED;
    return FindValue(key.id, FoldName(name), value) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG Store::SetValue(const KeyRef& key, std::string_view name, DWORD type, const BYTE* data,
                     DWORD size) {
  return Write([&]() -> LONG {
    if (!Alive(key.id)) return ERROR_KEY_DELETED;
    std::string folded = FoldName(name);
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ValueView cached;
    const bool known = caching_ && cache_.FindValue(key.id, folded, &cached);
    // Data that is there already moves only the key's last-write time, which a
    // transaction writes once per key at its end: rewriting the value's row cost most of a
    // forced write-back of unchanged values. Inside a transaction, a value the cache
    // cannot answer for is read first, so that writing back values this process never
    // read leaves their pages clean; a lone call commits a page either way, the value's
    // or the key's.
    bool same = known && cached.present && cached.type == type && cached.data == bytes;
    if (!same) {
      // The value's own time stands for the key's last write, which spares the key's row.
      same = !DatabaseOf(key.id).PutValue(key.id, name, folded, type, data, size, WriteTime(),
                                          !known && InTransaction());
      cache_.PutWrittenValue(key.id, folded, type, bytes);
    }
    if (same) {
      Touch(key.id);
    } else {
      Touch(key.id, kValueSet);
    }
    NoteChange(key.id, kChangeLastSet);
    return ERROR_SUCCESS;
  });
}

LONG Store::DeleteValue(const KeyRef& key, std::string_view name) {
  return Write([&]() -> LONG {
    if (!Alive(key.id)) return ERROR_KEY_DELETED;
    std::string folded = FoldName(name);
    Database& db = DatabaseOf(key.id);
    if (!InTransaction()) {
      if (!db.DeleteValue(key.id, folded)) return ERROR_FILE_NOT_FOUND;
    } else {
      // A transaction that deletes a subtree deletes each key's values and then the
      // key: the rows go with the key's in one statement, at half the cost of deleting
      // each. The cache, right inside the transaction, may know that the value exists.
      ValueView cached;
      bool known = caching_ && cache_.FindValue(key.id, folded, &cached);
      if (known && !cached.present) return ERROR_FILE_NOT_FOUND;
      if (!db.DeleteValueLater(key.id, folded, known)) return ERROR_FILE_NOT_FOUND;
    }
    Touch(key.id, kValueDeleted);
    NoteChange(key.id, kChangeLastSet);
    cache_.PutDeletedValue(key.id, folded);
    return ERROR_SUCCESS;
  });
}

LONG Store::ListSubkeys(const KeyRef& key, SubkeyList* list) {
  return Read([&]() -> LONG {
    if (!Alive(key.id)) return ERROR_KEY_DELETED;
    *list = Subkeys(key.id);
    return ERROR_SUCCESS;
  });
}

LONG Store::ListValues(const KeyRef& key, ValueList* list) {
  return Read([&]() -> LONG {
    if (!Alive(key.id)) return ERROR_KEY_DELETED;
    *list = Values(key.id);
    return ERROR_SUCCESS;
  });
}

LONG Store::Summarize(const KeyRef& key, KeySummary* summary) {
  return Read([&]() -> LONG {
    if (!Alive(key.id)) return ERROR_KEY_DELETED;
    summary->subkeys = Subkeys(key.id);
    summary->values = Values(key.id);
    summary->last_write = LastWriteTime(key.id);
    summary->key_class = KeyClass(key.id);
    return ERROR_SUCCESS;
  });
}

LONG Store::MayWrite(bool* writable) {
  return Read([&]() -> LONG {
    *writable = (state_ == State::kOpen || state_ == State::kAbsent) && !read_only_;
    return ERROR_SUCCESS;
  });
}

LONG Store::Watch(const KeyRef& key, std::string* shared_file) {
  return Read(
      CallDeadline(),
      [&]() -> LONG {
        if (!Alive(key.id)) return ERROR_KEY_DELETED;
        *shared_file = location_.generation;
        return ERROR_SUCCESS;
      },
      true);
}

}  // namespace ruzide::registry
