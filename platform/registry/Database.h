// The SQLite database behind one root: its schema, its statements and its transactions.
// This is the only code in the project that knows SQL.
//
// Keys form a tree of rows, each naming its parent; the root key has the id kRootKey.
// Subkeys are listed in folded-name order, values in the order they were created.
// A key's last-write time is the latest of its own row's time, which changes with its
// subkeys and deleted values, the times its values were set, and the time of the run of
// keys it was last written with (SetLastWriteTime).
// Key ids are never reused, so a handle that names a deleted key cannot come to name
// another. Names are kept as given and, for lookup and ordering, folded (NameFold.h).
//
// Every method throws DatabaseError when SQLite reports a failure. The caller owns
// transactions, retries and the store lock: see Store.
#ifndef RUZIDE_PLATFORM_REGISTRY_DATABASE_H_
#define RUZIDE_PLATFORM_REGISTRY_DATABASE_H_

#include <bitset>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/WinTypes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ruzide::registry {

class ReaderFence;

constexpr int64_t kRootKey = 1;

// An SQLite result code other than success. Only the code is kept: callers map it to a
// Windows error code, which is all the registry functions can report.
struct DatabaseError {
  int code;
};

// The Windows error code for an SQLite result code: ERROR_BADDB for a damaged file.
LONG ErrorForDatabase(int code);
// An error that ErrorForDatabase maps back to `status`, for failures outside SQLite that
// end a call the same way: ERROR_LOCK_VIOLATION, ERROR_ACCESS_DENIED, ERROR_BADDB, and
// ERROR_REGISTRY_IO_FAILED for any other.
DatabaseError ErrorFor(LONG status);
// The Windows error code for a failed file system call's errno: ERROR_ACCESS_DENIED for
// permissions and refused symbolic links, ERROR_PATH_NOT_FOUND for a folder that is
// missing or not a folder, ERROR_FILENAME_EXCED_RANGE for a path too long, and
// ERROR_REGISTRY_IO_FAILED for anything else.
LONG ErrorForFileSystem(int error);
// Whether the code means another process is in the way for now, so that trying again
// helps: it holds a lock, or it is half-way through changing the wal-index.
bool IsBusy(int code);

struct StoredValue {
  DWORD type = REG_NONE;
  std::string data;
};

// A subkey as enumeration returns it.
struct SubkeyEntry {
  std::string name;
  int64_t last_write;     // FILETIME ticks
  std::string key_class;  // empty: none
};

// A value as enumeration returns it.
struct ValueEntry {
  std::string name;
  StoredValue value;
};

// What a check of a store file before opening it found.
enum class FileState {
  kMissing,     // no file
  kEmpty,       // zero bytes: no data, safe to initialise
  kPlausible,   // an SQLite database of the right length; the schema is checked on open
  kUnreadable,  // cannot be read, or not a regular file: *error says why
  kCorrupt,     // not an SQLite database, or shorter than its header says with no WAL
};

// Looks at the file's header without opening it as a database, so that a damaged file is
// recognised before SQLite could write to it. Neither follows a symbolic link nor waits
// for a FIFO or device at `path`; those are kUnreadable. For kCorrupt, `why` (if given)
// is set to the reason in words.
FileState CheckDatabaseFile(const std::string& path, LONG* error, const char** why = nullptr);

// What a sound store holds, as a check reports it.
struct StoreCounts {
  int64_t keys = 0;  // the root key included
  int64_t values = 0;
  int64_t bytes = 0;  // the database's pages
};

class Database {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database() { Close(); }

  // Opens the file at `path`, which CheckDatabaseFile has found kMissing, kEmpty or
  // kPlausible (kMissing only when !read_only). A missing or empty file is given the
  // schema. With a `fence`, the connection relies on the store lock, which the caller must
  // hold around every use of it, opening and closing included (StoreVfs.h); without one
  // it uses SQLite's own locking. Returns ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when
  // `read_only` and the file holds no store yet; ERROR_BADDB when the file is not a store
  // of ours or is damaged (it is then left as it was); ERROR_LOCK_VIOLATION when another
  // process holds it locked, as while it creates the schema; another error code if it
  // cannot be opened.
  LONG Open(const std::string& path, bool read_only, ReaderFence* fence);

  // Makes keys inserted from now on take ids of at least `first`, for a database whose
  // ids must stay apart from another's. Runs a write transaction of its own.
  void ReserveKeyIds(int64_t first);

  // Opens `path` read-only with SQLite's own locking and checks nothing: for Examine, on a
  // file not yet known to be a store, such as a backup. Returns ERROR_SUCCESS or the
  // code that says why it cannot be opened.
  LONG OpenToExamine(const std::string& path);

  // Checks the open database as a store: its application id and schema version, its
  // tables, its root key and every key's parent and value's key, then SQLite's integrity
  // check. Returns "" when it is sound, with *counts filled, else the first problem found,
  // in words. On a store's connection the caller holds the store lock, in a transaction.
  std::string Examine(StoreCounts* counts);
  // Writes the whole database into the empty file at `path` with SQLite's online backup,
  // in one read transaction, as a database of its own (not in WAL mode) that has reached
  // the disk. The caller holds the store lock. Returns ERROR_SUCCESS or why not.
  LONG CopyTo(const std::string& path);
  // Inside a BeginWrite transaction, replaces every key and value with those of `source`,
  // which Examine found sound. The keys get ids above every id this database has given,
  // so a handle to a key of the old tree finds it deleted and never names a key of the
  // new one; the root key keeps its id.
  void ReplaceTree(Database& source);

  // Closes the connection. After `Abandon`, closing neither checkpoints nor otherwise
  // writes the file: for a database found damaged.
  void Close();
  void Abandon();
  bool is_open() const { return db_ != nullptr; }
  // Until when (MonotonicNanos) SQLite may wait for another process's lock.
  void set_deadline(int64_t deadline) { deadline_ = deadline; }

  // Transactions. BeginWrite takes the write lock at once (BEGIN IMMEDIATE) so that a
  // write never fails half-way for want of it.
  void BeginRead();
  void BeginWrite();
  void Commit();
  void Rollback();  // never throws

  // Reads.
  int64_t FindSubkey(int64_t parent, std::string_view folded);  // 0 if there is none
  bool KeyExists(int64_t key);
  bool FindValue(int64_t key, std::string_view folded, StoredValue* value);
  // `look_around`, inside a transaction, first looks which keys of the next ids have
  // subkeys, and answers for them from memory until a key is inserted or the transaction
  // ends: a key without any lists none without a statement.
  std::vector<SubkeyEntry> ListSubkeys(int64_t key, bool look_around = false);  // by folded name
  std::vector<ValueEntry> ListValues(int64_t key);                              // in creation order
  int64_t LastWriteTime(int64_t key);
  bool HasSubkeys(int64_t key, bool look_around = false);
  bool KeyParent(int64_t key, int64_t* parent, std::string* folded);  // false if no key
  std::string KeyClass(int64_t key);                                  // empty if none

  // Writes, inside a BeginWrite transaction.
  // An empty class is stored as none.
  int64_t InsertKey(int64_t parent, std::string_view name, std::string_view folded, int64_t now,
                    std::string_view key_class);
  void DeleteKey(int64_t key);  // the key and its values
  // As DeleteKey, but the rows may stay until subkeys are listed, a key is inserted, or
  // the commit; keys deleted together then go in a few statements. Until then every read
  // answers as if they were gone. A failure to delete them ends whichever later call does.
  void DeleteKeyLater(int64_t key);
  // Sets the last-write time of the keys whose ids run from `first` to `last`: a
  // transaction that touched a run of keys created in turn writes them together, as one
  // row of their run when they are many, else in one statement over the keys' rows.
  void SetLastWriteTime(int64_t first, int64_t last, int64_t now);
  // Replaces the value's type and data in its place, or adds it after the key's others,
  // and returns true. With `unless_same`, for a caller that does not know what the value
  // holds, writes nothing and returns false when it holds that type and data already.
  bool PutValue(int64_t key, std::string_view name, std::string_view folded, DWORD type,
                const BYTE* data, DWORD size, int64_t now, bool unless_same);
  bool DeleteValue(int64_t key, std::string_view folded);  // false if there was none
  // As DeleteValue, but the row may stay until the values are next used, the commit, or
  // the key's own DeleteKey, which takes it with the key's other values in one
  // statement: deleting a subtree deletes each value before its key. `exists` skips the
  // look for the value, for a caller that knows it is there. A failure to delete the row
  // ends whichever later call does.
  bool DeleteValueLater(int64_t key, std::string_view folded, bool exists);

 private:
  class Statement;

  LONG Validate(bool read_only);
  void CreateSchema();
  bool HasOrderColumn();
  bool HasTimesTable();
  // Runs `sql` in a write transaction of its own unless `done` finds it done already.
  void Upgrade(bool (Database::*done)(), const char* sql);
  void DropOrderIndex();
  void Prepare();
  void Exec(const char* sql);
  int64_t QueryInteger(const char* sql);  // the first column of the first row, or 0
  std::string ExamineSchema();
  // Copies the rows `select` gives in `source` into this database through `insert`,
  // mapping the key ids in the columns of `id_columns` (a bit per column) with `map`.
  template <typename Map>
  void CopyRows(Database& source, const char* select, const char* insert, unsigned id_columns,
                Map map);
  sqlite3_stmt* Use(int index);
  void DeleteLaterValues();  // before anything uses the values table
  void DeleteLaterKeys();    // before anything lists or inserts keys
  // Whether `key` may have subkeys, as LookAround found, looking around it first when the
  // last look did not reach it.
  bool MayHaveSubkeys(int64_t key);
  void LookAround(int64_t key);
  void ReadValues(int64_t key);
  bool KnowsValues(int64_t key) const { return key >= values_first_ && key < values_end_; }
  // At the end of a transaction: what it left to do later, and what it knew for a while.
  void ForgetTransaction();
  // Whether DeleteKeyLater left the key's rows.
  bool Doomed(int64_t key) const { return !later_keys_.empty() && later_keys_.count(key) != 0; }
  // The seq of a value about to be inserted, and the memory of the next (next_seq_).
  int64_t NextSeq(int64_t key);
  void RememberSeq(int64_t key, int64_t next);

  sqlite3* db_ = nullptr;
  int64_t deadline_ = 0;
  std::vector<sqlite3_stmt*> statements_;
  bool legacy_ = false;  // read-only, without the columns that later versions added
  bool times_ = false;   // has the table of runs' times, as every writer's has
  // The values DeleteValueLater left, as (key, folded name), in the order deleted.
  std::vector<std::pair<int64_t, std::string>> later_;
  // The keys DeleteKeyLater left.
  std::set<int64_t> later_keys_;
  // The ids from childless_first_ to before childless_end_ that are not in parents_ (at
  // its bit key - childless_first_) have no subkeys (LookAround).
  int64_t childless_first_ = 0;
  int64_t childless_end_ = 0;
  std::bitset<256> parents_;
  // The values of the keys from values_first_ to before values_end_, as ReadValues found
  // them, in the order of (key, folded), each no longer present once DeleteValueLater has
  // deleted it: kept until a value of those keys is set or deleted otherwise.
  struct KnownValue {
    int64_t key;
    std::string folded;
    bool present;
    static bool ByKey(const KnownValue& a, const KnownValue& b) { return a.key < b.key; }
  };
  int64_t values_first_ = 0;
  int64_t values_end_ = 0;
  int64_t crowded_key_ = 0;  // a key of more values than ReadValues reads
  std::vector<KnownValue> known_values_;
  // The next seq of keys this transaction inserted values into or created (NextSeq).
  std::unordered_map<int64_t, int64_t> next_seq_;
};

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_DATABASE_H_
