#include "platform/registry/StoreCare.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/registry/Store.h"

namespace ruzide::registry {

namespace {

// Why the file at `path`, which a store found damaged, is so: its header first, then what
// a connection of its own finds.
std::string Damage(const std::string& path) {
  LONG error = ERROR_SUCCESS;
  const char* why = nullptr;
  if (CheckDatabaseFile(path, &error, &why) == FileState::kCorrupt) return why;
  Database database;
  StoreCounts counts;
  std::string problem =
      database.OpenToExamine(path) == ERROR_SUCCESS ? database.Examine(&counts) : std::string();
  return problem.empty() ? "SQLite found it damaged" : problem;
}

}  // namespace

// Opens the store for one of the operations below, under the mutex, looking afresh at a
// store found damaged before.
LONG Store::OpenForCare(std::string* problem) {
  deadline_ = CallDeadline();
  db_.set_deadline(deadline_);
  if (state_ == State::kBroken) CloseLocked();
  LONG status = EnsureOpen(true);
  if (status == ERROR_BADDB) *problem = Damage(location_.database);
  if (status != ERROR_SUCCESS) return status;
  return read_only_ || state_ != State::kOpen ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

LONG Store::Check(StoreCounts* counts, std::string* problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  LONG status = OpenForCare(problem);
  if (status != ERROR_SUCCESS) return status;
  try {
    LockStore();
    db_.BeginRead();
    in_transaction_ = true;
    *problem = db_.Examine(counts);
  } catch (const DatabaseError& error) {
    EndCall();
    return ErrorForDatabase(error.code);
  }
  EndCall();
  return problem->empty() ? ERROR_SUCCESS : Break(ERROR_BADDB);
}

LONG Store::Backup(const std::string& path, std::string* problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  LONG status = OpenForCare(problem);
  if (status != ERROR_SUCCESS) return status;
  // The copy is as private as the root's own file.
  if (chmod(path.c_str(), location_.file_mode) != 0) return ErrorForFileSystem(errno);
  try {
    LockStore();
    status = db_.CopyTo(path);
  } catch (const DatabaseError& error) {
    status = ErrorForDatabase(error.code);
  }
  EndCall();
  return status;
}

// Moves a damaged database and its WAL aside, under the store lock, so that the store can
// start afresh in their place; the wal-index describes the moved WAL and goes.
LONG Store::SetAside() {
  CloseLocked();
  location_ = LocateStore(root_);
  if (location_.listed_read_only || access(location_.folder.c_str(), W_OK) != 0 ||
      !shared_.Open(location_.generation, location_.file_mode) || !shared_.writable()) {
    CloseFiles();
    return ERROR_ACCESS_DENIED;
  }
  lock_.Attach(&shared_);
  LONG status = lock_.Acquire(deadline_);
  if (status == ERROR_SUCCESS) {
    const std::string& file = location_.database;
    if (rename(file.c_str(), (file + ".damaged").c_str()) != 0 ||
        (rename((file + "-wal").c_str(), (file + ".damaged-wal").c_str()) != 0 &&
         errno != ENOENT) ||
        (unlink((file + "-shm").c_str()) != 0 && errno != ENOENT)) {
      status = ErrorForFileSystem(errno);
    }
  }
  CloseFiles();
  return status;
}

LONG Store::Restore(Database& source, std::string* problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  LONG status = OpenForCare(problem);
  if (status == ERROR_BADDB) {
    status = SetAside();
    if (status == ERROR_SUCCESS) status = OpenForCare(problem);
  }
  if (status != ERROR_SUCCESS) return status;
  for (bool retried = false;; retried = true) {
    try {
      StartWrite();
      db_.ReplaceTree(source);
      changed_ = true;
      // Every key of the old tree is gone, and every watch of the root learns of it.
      changes_.Record(kEveryKey, kChangeName | kChangeLastSet | kKeyDeleted);
      FinishWrite();
      return ERROR_SUCCESS;
    } catch (const DatabaseError& error) {
      EndCall();
      cache_.Reset(KeyCache::kUntagged);
      status = ErrorForDatabase(error.code);
    }
    // Damage inside the file shows only as SQLite reads it.
    if (status != ERROR_BADDB || retried) return status;
    status = SetAside();
    if (status == ERROR_SUCCESS) status = OpenForCare(problem);
    if (status != ERROR_SUCCESS) return status;
  }
}

namespace {

template <typename Op>
LONG ForRoot(HKEY root, Op op) {
  const int index = RootIndexOf(root);
  return index < 0 ? ERROR_INVALID_HANDLE : op(StoreFor(index));
}

}  // namespace

LONG CheckStore(HKEY root, StoreSummary* summary, std::string* problem) {
  return ForRoot(root, [&](Store& store) -> LONG {
    const int index = RootIndexOf(root);
    summary->database = LocateStore(index).database;
    StoreCounts counts;
    LONG status = store.Check(&counts, problem);
    summary->exists = true;
    summary->keys = counts.keys;
    summary->values = counts.values;
    summary->bytes = counts.bytes;
    return status;
  });
}

LONG BackupStore(HKEY root, const std::string& path, std::string* problem) {
  return ForRoot(root, [&](Store& store) -> LONG {
    LONG status = store.Backup(path, problem);
    if (status != ERROR_SUCCESS) return status;
    // The copy is checked as a restore would check it.
    Database copy;
    StoreCounts counts;
    status = copy.OpenToExamine(path);
    if (status == ERROR_SUCCESS) *problem = copy.Examine(&counts);
    return status != ERROR_SUCCESS || problem->empty() ? status : ERROR_BADDB;
  });
}

LONG RestoreStore(HKEY root, const std::string& path, std::string* problem) {
  return ForRoot(root, [&](Store& store) -> LONG {
    LONG error = ERROR_SUCCESS;
    const char* why = nullptr;
    switch (CheckDatabaseFile(path, &error, &why)) {
      case FileState::kMissing:
        *problem = path + ": not found";
        return ERROR_FILE_NOT_FOUND;
      case FileState::kUnreadable:
        *problem = path + ": cannot be read (not a regular file, or not permitted)";
        return error;
      case FileState::kEmpty:
        why = "it is empty";
        break;
      case FileState::kCorrupt:
        break;
      case FileState::kPlausible:
        break;
    }
    Database source;
    StoreCounts counts;
    std::string refused = why != nullptr ? why : "";
    if (refused.empty()) {
      LONG status = source.OpenToExamine(path);
      if (status != ERROR_SUCCESS) {
        *problem = path + ": cannot be opened";
        return status;
      }
      refused = source.Examine(&counts);
    }
    if (!refused.empty()) {
      *problem = path + " is not a store to restore: " + refused;
      return ERROR_BADDB;
    }
    return store.Restore(source, problem);
  });
}

}  // namespace ruzide::registry
