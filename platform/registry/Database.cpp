#include "platform/registry/Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/registry/ForgetMap.h"
#include "platform/registry/StoreLock.h"
#include "platform/registry/StoreVfs.h"

namespace ruzide::registry {

namespace {

// Marks a database as ours: "RzId". A valid SQLite file without it is not a store.
constexpr int kApplicationId = 0x527a4964;
constexpr int kSchemaVersion = 1;

// Last-write times that runs of consecutive key ids share: a transaction that touched many
// keys created in turn, without setting a value of each, records one row for them, where
// rewriting every key's row cost a fifth of a forced write of unchanged values. Runs never
// overlap; a key's last-write time is the latest of its own row's, its values' and its
// run's. A writer adds the table to a store made before it; versions that predate it
// ignore it, and see such keys' times as they were before the run.
const char kTimesTable[] =
    "CREATE TABLE IF NOT EXISTS times("
    "  first INTEGER PRIMARY KEY,"  // the run's first key id
    "  last INTEGER NOT NULL,"
    "  mtime INTEGER NOT NULL);";

const char kSchema[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"  // AUTOINCREMENT: ids are never reused
    "  parent INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  mtime INTEGER NOT NULL,"
    "  class BLOB,"  // null: no class
    "  UNIQUE(parent, folded));"
    // No index but the primary key: a key's values are read together and put in creation
    // order in memory. The small columns come before the data, so that reading them never
    // follows a large value's overflow pages.
    "CREATE TABLE vals("
    "  key INTEGER NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  seq INTEGER NOT NULL DEFAULT 0,"  // creation order within the key
    "  mtime INTEGER NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, folded)) WITHOUT ROWID;"
    "INSERT INTO keys(id, parent, name, folded, mtime) VALUES(1, 0, x'', x'', 0);"
    "PRAGMA application_id=1383745892;"
    "PRAGMA user_version=1;";
static_assert(kApplicationId == 1383745892, "kSchema spells the application id out");

// Stores made before keys had classes and values a creation order lack the two columns.
// A writer adds them (older versions of the store name their columns and ignore these);
// a reader that cannot write such a store reads it through the statements of
// kLegacyStatements, and sees values in name order and keys without classes.
const char kAddColumns[] =
    "ALTER TABLE keys ADD COLUMN class BLOB;"
    "ALTER TABLE vals ADD COLUMN seq INTEGER NOT NULL DEFAULT 0;";

// Stores made before this version have an index on vals(key, seq), which cost every value
// inserted or deleted a second B-tree entry. A writer drops it. Versions that had it read
// and write a store without it alike, their statements naming no index.
const char kOrderIndex[] = "vals_order";

// A run is written instead of the keys' rows from this many keys on: below it the rows'
// update costs less than the statements that keep runs apart.
constexpr int64_t kShortestRun = 16;

// In statements that read last-write times, "@run" stands for the time of the run that
// holds keys.id, or 0 if none does; a connection to a store without the table of runs (one
// that cannot write it) reads 0.
const char kRunPlaceholder[] = "@run";
const char kRunTime[] =
    "ifnull((SELECT CASE WHEN t.last >= keys.id THEN t.mtime END FROM times AS t "
    "WHERE t.first <= keys.id ORDER BY t.first DESC LIMIT 1), 0)";

enum StatementId {
  kBegin,
  kBeginImmediate,
  kCommit,
  kRollback,
  kFindSubkey,
  kKeyExists,
  kFindValue,
  kListSubkeys,
  kListValues,
  kLastWriteTime,
  kHasSubkeys,
  kKeyParent,
  kKeyClass,
  kInsertKey,
  kDeleteKey,
  kDeleteKeyValues,
  kDeleteKeys,
  kDeleteKeysValues,
  kParentsBetween,
  kValuesBetween,
  kSetLastWriteTime,
  kUpdateValue,
  kInsertValue,
  kDeleteValue,
  kLastSeq,
  kRenewRun,
  kRunBefore,
  kLastRunWithin,
  kDeleteRuns,
  kDeleteRunsWithin,
  kInsertRun,
  kEndRun,
  kStatementCount
};

const char* const kStatements[kStatementCount] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT name, max(mtime, ifnull((SELECT max(mtime) FROM vals WHERE key = keys.id), 0), "
    "@run), class FROM keys WHERE parent = ?1 ORDER BY folded",
    // In the order of their folded names; ListValues puts them in creation order.
    "SELECT name, type, data, seq FROM vals WHERE key = ?1",
    "SELECT max(mtime, ifnull((SELECT max(mtime) FROM vals WHERE key = ?1), 0), @run) "
    "FROM keys WHERE id = ?1",
    "SELECT id FROM keys WHERE parent = ?1 LIMIT 1",
    "SELECT parent, folded FROM keys WHERE id = ?1",
    "SELECT class FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, folded, mtime, class) VALUES(?1, ?2, ?3, ?4, ?5)",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id BETWEEN ?1 AND ?2",
    "DELETE FROM vals WHERE key BETWEEN ?1 AND ?2",
    "SELECT parent FROM keys WHERE parent BETWEEN ?1 AND ?2 LIMIT 1",
    "SELECT key, folded FROM vals WHERE key BETWEEN ?1 AND ?2 LIMIT ?3",
    "UPDATE keys SET mtime = ?3 WHERE id BETWEEN ?1 AND ?2",
    // A replaced value keeps its place and its name.
    "UPDATE vals SET type = ?3, data = ?4, mtime = ?5 WHERE key = ?1 AND folded = ?2",
    "INSERT INTO vals(key, name, folded, type, data, mtime, seq) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT ifnull(max(seq), 0) FROM vals WHERE key = ?1",
    "UPDATE times SET mtime = ?3 WHERE first = ?1 AND last = ?2",
    "SELECT first, last, mtime FROM times WHERE first < ?1 ORDER BY first DESC LIMIT 1",
    "SELECT last, mtime FROM times WHERE first BETWEEN ?1 AND ?2 ORDER BY first DESC LIMIT 1",
    "DELETE FROM times WHERE first BETWEEN ?1 AND ?2",
    "DELETE FROM times WHERE first BETWEEN ?1 AND ?2 AND last <= ?2",
    "INSERT INTO times(first, last, mtime) VALUES(?1, ?2, ?3)",
    "UPDATE times SET last = ?2 WHERE first = ?1",
};

// What a connection to a store without the table of runs uses instead of the statements
// that write it. Such a connection is read-only: these only have to compile and take the
// same parameters.
const StatementId kRunWrites[] = {kRenewRun,         kRunBefore, kLastRunWithin, kDeleteRuns,
                                  kDeleteRunsWithin, kInsertRun, kEndRun};
const char kNoRunWrite[] = "SELECT ?1, ?2, ?3 WHERE 0";

// What a store without the columns of kAddColumns reads instead.
struct LegacyStatement {
  StatementId id;
  const char* sql;
};
const LegacyStatement kLegacyStatements[] = {
    {kListSubkeys,
     "SELECT name, max(mtime, ifnull((SELECT max(mtime) FROM vals WHERE key = keys.id), 0), "
     "@run), NULL FROM keys WHERE parent = ?1 ORDER BY folded"},
    {kListValues, "SELECT name, type, data, 0 FROM vals WHERE key = ?1"},
    {kKeyClass, "SELECT NULL FROM keys WHERE id = ?1"},
    // Such a connection is read-only: these only have to compile.
    {kInsertKey, "INSERT INTO keys(parent) SELECT ?1 WHERE 0"},
    {kInsertValue, "INSERT INTO vals(key) SELECT ?1 WHERE 0"},
    {kLastSeq, "SELECT 0 FROM vals WHERE key = ?1 LIMIT 1"},
};

// Waits for another process's lock until the call's deadline: short sleeps first, since
// most transactions last microseconds, then 2 ms ones. SQLite's own busy timeout sleeps
// in whole milliseconds, which would make busy writers take turns far too slowly.
constexpr int kBusyFastSteps = 7;

int WaitWhileBusy(void* deadline, int count) {
  if (MonotonicNanos() >= *static_cast<const int64_t*>(deadline)) return 0;
  long micros = count < kBusyFastSteps ? 20L << count : 2000;
  timespec pause = {0, micros * 1000};
  nanosleep(&pause, nullptr);
  return 1;
}

// Whether the WAL beside the database holds frames rather than nothing or a bare header.
bool WalHoldsFrames(const std::string& database) {
  constexpr off_t kWalHeaderSize = 32;
  struct stat info;
  return stat((database + "-wal").c_str(), &info) == 0 && info.st_size > kWalHeaderSize;
}

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

LONG ErrorForDatabase(int code) {
  if (IsBusy(code)) return ERROR_LOCK_VIOLATION;
  switch (code & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return ERROR_BADDB;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

LONG ErrorForFileSystem(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case ELOOP:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

DatabaseError ErrorFor(LONG status) {
  switch (status) {
    case ERROR_LOCK_VIOLATION:
      return DatabaseError{SQLITE_BUSY};
    case ERROR_ACCESS_DENIED:
      return DatabaseError{SQLITE_PERM};
    case ERROR_BADDB:
      return DatabaseError{SQLITE_CORRUPT};
    default:
      return DatabaseError{SQLITE_IOERR};
  }
}

bool IsBusy(int code) {
  // A reader without write access to the wal-index reports READONLY_RECOVERY when it
  // finds the index's header in the middle of a change, READONLY_CANTINIT when the read
  // marks it may use have all moved past the snapshot it just took (it cannot set one
  // itself), and PROTOCOL when the index kept changing under it.
  return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED ||
         (code & 0xff) == SQLITE_PROTOCOL || code == SQLITE_READONLY_RECOVERY ||
         code == SQLITE_READONLY_CANTINIT;
}

// One use of a prepared statement: binds parameters in order, steps, and resets the
// statement when it goes out of scope so that it holds no read lock afterwards.
class Database::Statement {
 public:
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

  Statement& Bind(int64_t number) {
    Check(sqlite3_bind_int64(statement_, ++bound_, number));
    return *this;
  }
  Statement& Bind(std::string_view bytes) { return Bind(bytes.data(), bytes.size()); }
  // A null pointer would bind SQL NULL; an empty blob is what is meant.
  Statement& Bind(const void* bytes, size_t size) {
    Check(sqlite3_bind_blob64(statement_, ++bound_, bytes != nullptr ? bytes : "", size,
                              SQLITE_STATIC));
    return *this;
  }

  // Returns true for a row, false when done.
  bool Step() {
    int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    throw DatabaseError{code};
  }
  void Run() { Step(); }

  int64_t Integer(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) {
    const void* bytes = sqlite3_column_blob(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    return bytes != nullptr ? std::string(static_cast<const char*>(bytes), size) : std::string();
  }

 private:
  static void Check(int code) {
    if (code != SQLITE_OK) throw DatabaseError{code};
  }

  sqlite3_stmt* statement_;
  int bound_ = 0;
};

FileState CheckDatabaseFile(const std::string& path, LONG* error, const char** why) {
  const char* unused;
  if (why == nullptr) why = &unused;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) return FileState::kMissing;
  if (fd < 0) {
    *error = ErrorForFileSystem(errno);
    return FileState::kUnreadable;
  }
  struct stat info;
  unsigned char header[100];
  FileState state = FileState::kPlausible;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = ERROR_REGISTRY_IO_FAILED;  // a folder, FIFO or device is no database
    state = FileState::kUnreadable;
  } else if (info.st_size == 0) {
    state = FileState::kEmpty;
  } else if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
             std::memcmp(header, "SQLite format 3", 16) != 0) {
    *why = "not an SQLite database (its header is wrong)";
    state = FileState::kCorrupt;
  } else {
    uint32_t page_size = (uint32_t{header[16]} << 8) | header[17];
    if (page_size == 1) page_size = 65536;
    uint64_t size = static_cast<uint64_t>(info.st_size);
    // The page count in the header is meaningful only while the change counter matches
    // the "version valid for" field; SQLite keeps them equal. A checkpoint that makes the
    // file longer writes the header page before the pages it counts, and one cut short by
    // a crash is done again from the WAL, so the file may be short while the WAL holds
    // frames; without them it is a truncated copy.
    uint64_t pages =
        BigEndian32(header + 24) == BigEndian32(header + 92) ? BigEndian32(header + 28) : 0;
    if (page_size < 512 || (page_size & (page_size - 1)) != 0) {
      *why = "its header gives an impossible page size";
      state = FileState::kCorrupt;
    } else if (size % page_size != 0) {
      *why = "its length is not a whole number of pages (cut short or padded)";
      state = FileState::kCorrupt;
    } else if (pages * page_size > size && !WalHoldsFrames(path)) {
      *why = "it is shorter than its header says (a truncated copy)";
      state = FileState::kCorrupt;
    }
  }
  close(fd);
  return state;
}

LONG Database::Open(const std::string& path, bool read_only, ReaderFence* fence) {
  Close();
  const char* vfs = nullptr;
  if (fence != nullptr) {
    vfs = StoreVfsName();
    if (vfs == nullptr) return ERROR_REGISTRY_IO_FAILED;
  }
  int flags = SQLITE_OPEN_NOMUTEX |
              (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  int code = sqlite3_open_v2(path.c_str(), &db_, flags, vfs);
  if (code != SQLITE_OK) {
    int error = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    Close();
    return (code & 0xff) == SQLITE_CANTOPEN ? ErrorForFileSystem(error) : ErrorForDatabase(code);
  }
  // The database file is open, but SQLite has not read it nor touched the wal-index yet.
  if (fence != nullptr && !RelyOnStoreLock(db_, fence)) {
    Close();
    return ERROR_REGISTRY_IO_FAILED;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, WaitWhileBusy, &deadline_);
  // Until the file has proved to be a store of ours, closing must not checkpoint into it.
  Abandon();
  LONG result;
  try {
    result = Validate(read_only);
    if (result == ERROR_SUCCESS) Prepare();
  } catch (const DatabaseError& error) {
    result = ErrorForDatabase(error.code);
  }
  if (result != ERROR_SUCCESS) {
    Close();
    return result;
  }
  sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
  return ERROR_SUCCESS;
}

void Database::Abandon() {
  if (db_ != nullptr) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

void Database::Close() {
  ForgetTransaction();
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  statements_.clear();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

LONG Database::Validate(bool read_only) {
  // These read the header and the schema, where SQLite notices most damage.
  int64_t application_id = QueryInteger("PRAGMA application_id");
  int64_t version = QueryInteger("PRAGMA user_version");
  int64_t tables = QueryInteger("SELECT count(*) FROM sqlite_schema");
  if (application_id == 0 && version == 0 && tables == 0) {
    // A new database, or one whose creator died before giving it the schema. A file that
    // another program has marked as its own, though empty, is left alone.
    if (read_only) return ERROR_FILE_NOT_FOUND;
    CreateSchema();
  } else if (application_id != kApplicationId || version != kSchemaVersion) {
    return ERROR_BADDB;
  }
  if (!read_only) {
    Exec("PRAGMA journal_mode=WAL");
    // SQLite removes the -wal and -shm files when the last connection closes, and a
    // process that may not write the folder cannot open a WAL database without them: it
    // could read the store only while a writer had it open. The last writer to close
    // keeps them, the WAL emptied (journal_size_limit bounds it at 4 MB otherwise).
    int keep = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    Exec("PRAGMA journal_size_limit=4194304");
  }
  Exec("PRAGMA synchronous=NORMAL");
  legacy_ = !HasOrderColumn();
  times_ = HasTimesTable();
  if (!read_only) {
    if (legacy_) Upgrade(&Database::HasOrderColumn, kAddColumns);
    if (!times_) Upgrade(&Database::HasTimesTable, kTimesTable);
    legacy_ = false;
    times_ = true;
    DropOrderIndex();
  }
  // SQLite's default page cache of 2 MB holds the pages of a store of some 10,000 keys;
  // beyond that every lookup that misses this process's own cache read pages from the
  // file again, and a large transaction spilled pages to the WAL, and wrote them again
  // when changed again. Pages are allocated only as they are read, so a small store
  // costs no more. A transaction may hold up to 256 MB of changed pages before it spills
  // any: a spilled page is written, and read back, one page a system call, where the
  // commit writes its pages together. Past the page cache's 64 MB they are freed at the
  // end of the transaction.
  Exec("PRAGMA cache_size=-65536");
  Exec("PRAGMA cache_spill=131072");
  Exec("PRAGMA mmap_size=1073741824");
  return ERROR_SUCCESS;
}

bool Database::HasOrderColumn() {
  return QueryInteger("SELECT count(*) FROM pragma_table_info('vals') WHERE name = 'seq'") > 0;
}

bool Database::HasTimesTable() {
  return QueryInteger(
             "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND "
             "name = 'times'") > 0;
}

void Database::Upgrade(bool (Database::*done)(), const char* sql) {
  Exec("BEGIN IMMEDIATE");
  try {
    // Another process may have done it while this one waited for the lock.
    if (!(this->*done)()) Exec(sql);
    Exec("COMMIT");
  } catch (...) {
    Rollback();
    throw;
  }
}

void Database::DropOrderIndex() {
  const std::string exists =
      std::string("SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND name = '") +
      kOrderIndex + "'";
  if (QueryInteger(exists.c_str()) == 0) return;
  const std::string drop =
      std::string("BEGIN IMMEDIATE; DROP INDEX IF EXISTS ") + kOrderIndex + "; COMMIT";
  try {
    Exec(drop.c_str());
  } catch (...) {
    Rollback();
    throw;
  }
}

void Database::CreateSchema() {
  // Each commit writes its changed pages whole to the WAL, and each checkpoint syncs them:
  // smaller pages make both cheaper. 2048 bytes still hold a value of up to about 480
  // bytes with its names without an overflow page. It must be set before the file has
  // any content; a file that already does keeps its size.
  Exec("PRAGMA page_size=2048");
  Exec("PRAGMA journal_mode=WAL");
  Exec("BEGIN IMMEDIATE");
  try {
    // Another process may have created it while this one waited for the lock.
    if (QueryInteger("SELECT count(*) FROM sqlite_schema") == 0) {
      Exec(kSchema);
      Exec(kTimesTable);
    }
    Exec("COMMIT");
  } catch (...) {
    Rollback();
    throw;
  }
}

void Database::ReserveKeyIds(int64_t first) {
  // AUTOINCREMENT continues from the largest id it has handed out, kept in sqlite_sequence.
  std::string sql = "BEGIN IMMEDIATE; UPDATE sqlite_sequence SET seq = max(seq, " +
                    std::to_string(first - 1) + ") WHERE name = 'keys'; COMMIT";
  try {
    Exec(sql.c_str());
  } catch (...) {
    Rollback();
    throw;
  }
}

int64_t Database::QueryInteger(const char* sql) {
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr);
  if (code != SQLITE_OK) throw DatabaseError{code};
  int64_t result = 0;
  try {
    Statement query(raw);
    if (query.Step()) result = query.Integer(0);
  } catch (...) {
    sqlite3_finalize(raw);
    throw;
  }
  sqlite3_finalize(raw);
  return result;
}

void Database::Prepare() {
  statements_.assign(kStatementCount, nullptr);
  for (int i = 0; i < kStatementCount; ++i) {
    const char* sql = kStatements[i];
    for (const LegacyStatement& legacy : kLegacyStatements) {
      if (legacy_ && legacy.id == i) sql = legacy.sql;
    }
    for (StatementId write : kRunWrites) {
      if (!times_ && write == i) sql = kNoRunWrite;
    }
    std::string text = sql;
    const size_t run = text.find(kRunPlaceholder);
    if (run != std::string::npos) {
      text.replace(run, sizeof kRunPlaceholder - 1, times_ ? kRunTime : "0");
    }
    int code = sqlite3_prepare_v3(db_, text.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statements_[i],
                                  nullptr);
    if (code != SQLITE_OK) throw DatabaseError{code};
  }
}

void Database::Exec(const char* sql) {
  int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) throw DatabaseError{code};
}

sqlite3_stmt* Database::Use(int index) { return statements_[index]; }

void Database::BeginRead() { Statement(Use(kBegin)).Run(); }
void Database::BeginWrite() { Statement(Use(kBeginImmediate)).Run(); }
void Database::Commit() {
  DeleteLaterValues();
  DeleteLaterKeys();
  Statement(Use(kCommit)).Run();
  ForgetTransaction();
}

void Database::Rollback() {
  ForgetTransaction();
  if (db_ != nullptr && !sqlite3_get_autocommit(db_)) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

int64_t Database::FindSubkey(int64_t parent, std::string_view folded) {
  Statement query(Use(kFindSubkey));
  query.Bind(parent).Bind(folded);
  // A name is unique under its parent: a key about to be deleted is the only one.
  return query.Step() && !Doomed(query.Integer(0)) ? query.Integer(0) : 0;
}

bool Database::KeyExists(int64_t key) {
  if (Doomed(key)) return false;
  Statement query(Use(kKeyExists));
  query.Bind(key);
  return query.Step();
}

bool Database::FindValue(int64_t key, std::string_view folded, StoredValue* value) {
  if (Doomed(key)) return false;
  DeleteLaterValues();
  Statement query(Use(kFindValue));
  query.Bind(key).Bind(folded);
  if (!query.Step()) return false;
  value->type = static_cast<DWORD>(query.Integer(0));
  value->data = query.Bytes(1);
  return true;
}

std::vector<SubkeyEntry> Database::ListSubkeys(int64_t key, bool look_around) {
  std::vector<SubkeyEntry> subkeys;
  if (look_around && !MayHaveSubkeys(key)) return subkeys;
  DeleteLaterValues();  // for the last-write times
  DeleteLaterKeys();
  Statement query(Use(kListSubkeys));
  query.Bind(key);
  while (query.Step()) subkeys.push_back({query.Bytes(0), query.Integer(1), query.Bytes(2)});
  return subkeys;
}

std::vector<ValueEntry> Database::ListValues(int64_t key) {
  std::vector<ValueEntry> values;
  if (Doomed(key)) return values;
  DeleteLaterValues();
  std::vector<std::pair<int64_t, size_t>> order;  // (seq, place in folded-name order)
  Statement query(Use(kListValues));
  query.Bind(key);
  while (query.Step()) {
    order.emplace_back(query.Integer(3), values.size());
    values.push_back({query.Bytes(0), {static_cast<DWORD>(query.Integer(1)), query.Bytes(2)}});
  }
  // By creation order, then folded name: values of a store from before the order was
  // kept share seq 0 and stay in name order, ahead of those set since.
  if (std::is_sorted(order.begin(), order.end())) return values;
  std::sort(order.begin(), order.end());
  std::vector<ValueEntry> ordered;
  ordered.reserve(values.size());
  for (const auto& place : order) ordered.push_back(std::move(values[place.second]));
  return ordered;
}

int64_t Database::LastWriteTime(int64_t key) {
  if (Doomed(key)) return 0;
  DeleteLaterValues();
  Statement query(Use(kLastWriteTime));
  query.Bind(key);
  return query.Step() ? query.Integer(0) : 0;
}

// A subtree's keys are deleted before their parent: a subkey found that waits to be
// deleted takes the others waiting with it, rather than passing over each of them.
bool Database::HasSubkeys(int64_t key, bool look_around) {
  if (look_around && !MayHaveSubkeys(key)) return false;
  auto first_subkey = [this, key] {
    Statement query(Use(kHasSubkeys));
    query.Bind(key);
    return query.Step() ? query.Integer(0) : 0;
  };
  int64_t subkey = first_subkey();
  if (subkey != 0 && Doomed(subkey)) {
    DeleteLaterKeys();
    subkey = first_subkey();
  }
  return subkey != 0;
}

bool Database::MayHaveSubkeys(int64_t key) {
  if (key < childless_first_ || key >= childless_end_) LookAround(key);
  return parents_[static_cast<size_t>(key - childless_first_)];
}

// Which keys of the ids from `key` on are parents, in a statement for each parent rather
// than one for each key: a subtree is deleted, or listed, key after key, its keys' ids are
// mostly consecutive, and most are leaves. A key with no subkeys then has none until a key
// is inserted or the transaction ends: inside a transaction, which holds the write lock
// or reads one snapshot, no other process's key shows.
void Database::LookAround(int64_t key) {
  parents_.reset();
  childless_first_ = key;
  childless_end_ = key + static_cast<int64_t>(parents_.size());
  for (int64_t from = key;;) {
    Statement query(Use(kParentsBetween));
    query.Bind(from).Bind(childless_end_ - 1);
    if (!query.Step()) break;
    const int64_t parent = query.Integer(0);
    parents_.set(static_cast<size_t>(parent - key));
    from = parent + 1;
  }
}

bool Database::KeyParent(int64_t key, int64_t* parent, std::string* folded) {
  if (Doomed(key)) return false;
  Statement query(Use(kKeyParent));
  query.Bind(key);
  if (!query.Step()) return false;
  *parent = query.Integer(0);
  *folded = query.Bytes(1);
  return true;
}

std::string Database::KeyClass(int64_t key) {
  if (Doomed(key)) return std::string();
  Statement query(Use(kKeyClass));
  query.Bind(key);
  return query.Step() ? query.Bytes(0) : std::string();
}

int64_t Database::InsertKey(int64_t parent, std::string_view name, std::string_view folded,
                            int64_t now, std::string_view key_class) {
  DeleteLaterKeys();   // one may have the new key's name
  childless_end_ = 0;  // the parent has a subkey
  Statement insert(Use(kInsertKey));
  insert.Bind(parent).Bind(name).Bind(folded).Bind(now);
  if (!key_class.empty()) insert.Bind(key_class);  // else null
  insert.Run();
  const int64_t key = sqlite3_last_insert_rowid(db_);
  RememberSeq(key, 1);  // no values yet
  return key;
}

void Database::DeleteKey(int64_t key) {
  // The key's values left for later go with the rest; those of other keys stay.
  while (!later_.empty() && later_.back().first == key) later_.pop_back();
  Statement(Use(kDeleteKeyValues)).Bind(key).Run();
  Statement(Use(kDeleteKey)).Bind(key).Run();
}

void Database::DeleteKeyLater(int64_t key) {
  // A subtree's keys mostly go when their parent asks whether it has subkeys, long before
  // this many wait: the bound only keeps the set small.
  constexpr size_t kMostLaterKeys = 256;
  while (!later_.empty() && later_.back().first == key) later_.pop_back();
  if (later_keys_.size() >= kMostLaterKeys) DeleteLaterKeys();
  later_keys_.insert(key);
}

// Keys deleted one after another mostly have consecutive ids, a subtree's keys having been
// created together: each run of consecutive ids goes in two statements, its values first.
void Database::DeleteLaterKeys() {
  for (auto run = later_keys_.begin(); run != later_keys_.end();) {
    const int64_t first = *run;
    int64_t last = first;
    while (++run != later_keys_.end() && *run == last + 1) last = *run;
    Statement(Use(kDeleteKeysValues)).Bind(first).Bind(last).Run();
    Statement(Use(kDeleteKeys)).Bind(first).Bind(last).Run();
    // Runs of deleted keys would stay forever, ids never being reused.
    if (last - first + 1 >= kShortestRun) {
      Statement(Use(kDeleteRunsWithin)).Bind(first).Bind(last).Run();
    }
  }
  later_keys_.clear();
}

void Database::SetLastWriteTime(int64_t first, int64_t last, int64_t now) {
  if (last - first + 1 < kShortestRun) {
    Statement(Use(kSetLastWriteTime)).Bind(first).Bind(last).Bind(now).Run();
    return;
  }
  // The same keys as a transaction before: a tree written again.
  Statement(Use(kRenewRun)).Bind(first).Bind(last).Bind(now).Run();
  if (sqlite3_changes(db_) > 0) return;
  // The new run replaces what older runs said of its keys. Of a run that reaches into it
  // from below, the part before stays; of the run that reaches past its end, if any, the
  // part after stays, as a run of its own.
  struct Run {
    int64_t first = 0, last = 0, mtime = 0;
  } below, tail;
  {
    Statement query(Use(kRunBefore));
    query.Bind(first);
    if (query.Step() && query.Integer(1) >= first) {
      below = {query.Integer(0), query.Integer(1), query.Integer(2)};
      if (below.last > last) tail = {last + 1, below.last, below.mtime};
    }
  }
  {
    Statement query(Use(kLastRunWithin));
    query.Bind(first).Bind(last);
    if (query.Step() && query.Integer(0) > last) {
      tail = {last + 1, query.Integer(0), query.Integer(1)};
    }
  }
  if (below.first != 0) Statement(Use(kEndRun)).Bind(below.first).Bind(first - 1).Run();
  Statement(Use(kDeleteRuns)).Bind(first).Bind(last).Run();
  Statement(Use(kInsertRun)).Bind(first).Bind(last).Bind(now).Run();
  if (tail.first != 0) {
    Statement(Use(kInsertRun)).Bind(tail.first).Bind(tail.last).Bind(tail.mtime).Run();
  }
}

// An update first, an insert when it finds nothing: one statement each. An upsert
// (INSERT ... ON CONFLICT DO UPDATE) costs both its halves whenever the value exists, the
// insert's search for the last place included, and rewriting values is the common case.
// A caller that reads the row first learns which of the two to run.
bool Database::PutValue(int64_t key, std::string_view name, std::string_view folded, DWORD type,
                        const BYTE* data, DWORD size, int64_t now, bool unless_same) {
  DeleteLaterValues();
  bool exists = true;  // or not known not to
  if (unless_same) {
    // Reading the row first leaves its page clean when the data is there already: the
    // page is then neither written to the WAL at the commit nor copied by a checkpoint.
    StoredValue stored;
    exists = FindValue(key, folded, &stored);
    if (exists && stored.type == type &&
        stored.data == std::string_view(reinterpret_cast<const char*>(data), size)) {
      return false;
    }
  }
  if (KnowsValues(key)) values_end_ = 0;  // it may be a new one
  if (exists) {
    Statement(Use(kUpdateValue))
        .Bind(key)
        .Bind(folded)
        .Bind(static_cast<int64_t>(type))
        .Bind(data, size)
        .Bind(now)
        .Run();
    if (sqlite3_changes(db_) > 0) return true;
  }
  Statement(Use(kInsertValue))
      .Bind(key)
      .Bind(name)
      .Bind(folded)
      .Bind(static_cast<int64_t>(type))
      .Bind(data, size)
      .Bind(now)
      .Bind(NextSeq(key))
      .Run();
  return true;
}

// The key's values are read for their largest seq once per transaction; afterwards the
// next place is remembered, which no other process can change while the transaction
// lasts, so that setting many new values of one key, as an import does, costs no more
// for the last than for the first. A remembered place may lie past the largest seq left,
// after deletions, which keeps the order as well.
int64_t Database::NextSeq(int64_t key) {
  auto known = next_seq_.find(key);
  if (known != next_seq_.end()) return known->second++;
  Statement query(Use(kLastSeq));
  query.Bind(key);
  const int64_t next = (query.Step() ? query.Integer(0) : 0) + 1;
  RememberSeq(key, next + 1);
  return next;
}

void Database::RememberSeq(int64_t key, int64_t next) {
  // Bounded, as a transaction may create or fill any number of keys; a key forgotten is
  // read again.
  constexpr size_t kMostSeqs = 65536;
  if (next_seq_.size() >= kMostSeqs) next_seq_.clear();
  next_seq_.emplace(key, next);
}

bool Database::DeleteValue(int64_t key, std::string_view folded) {
  DeleteLaterValues();
  if (KnowsValues(key)) values_end_ = 0;
  Statement(Use(kDeleteValue)).Bind(key).Bind(folded).Run();
  return sqlite3_changes(db_) > 0;
}

bool Database::DeleteValueLater(int64_t key, std::string_view folded, bool exists) {
  // A small bound keeps the look through them below and the one from the end in
  // DeleteKey short when values are deleted without their keys.
  constexpr size_t kMostLater = 64;
  if (!KnowsValues(key) && !exists && key != crowded_key_) ReadValues(key);
  if (KnowsValues(key)) {
    auto [begin, end] = std::equal_range(known_values_.begin(), known_values_.end(),
                                         KnownValue{key, {}, false}, KnownValue::ByKey);
    auto known = std::find_if(begin, end, [&](const KnownValue& v) { return v.folded == folded; });
    if (known == end || !known->present) {
      if (!exists) return false;
    } else {
      known->present = false;
    }
  } else if (!exists) {
    for (const auto& value : later_) {
      if (value.first == key && value.second == folded) return false;
    }
    Statement query(Use(kFindValue));
    query.Bind(key).Bind(folded);
    if (!query.Step()) return false;
  }
  if (later_.size() >= kMostLater) DeleteLaterValues();
  later_.emplace_back(key, folded);
  return true;
}

// The values of the keys from `key` on, for deleting those the cache cannot answer for: a
// subtree's keys have their values deleted one key after another, mostly in the order of
// their ids, and one statement reads the names of many keys' values for a fraction of
// looking for each.
void Database::ReadValues(int64_t key) {
  constexpr int64_t kKeys = 64, kMostRows = 256;
  known_values_.clear();
  Statement query(Use(kValuesBetween));
  query.Bind(key).Bind(key + kKeys - 1).Bind(kMostRows);
  while (query.Step()) known_values_.push_back({query.Integer(0), query.Bytes(1), true});
  values_first_ = key;
  values_end_ = key + kKeys;
  if (known_values_.size() == static_cast<size_t>(kMostRows)) {
    // The last key's values may go on past the rows read.
    values_end_ = known_values_.back().key;
    if (values_end_ == key) crowded_key_ = key;  // looked for one by one
  }
  // Rows whose deletion waits are values no more.
  for (KnownValue& known : known_values_) {
    for (const auto& value : later_) {
      if (value.first == known.key && value.second == known.folded) known.present = false;
    }
  }
}

void Database::ForgetTransaction() {
  later_.clear();
  later_keys_.clear();
  ForgetMap(next_seq_);  // a read outside a transaction ends one too
  childless_end_ = 0;
  values_end_ = 0;
  crowded_key_ = 0;
}

void Database::DeleteLaterValues() {
  if (later_.empty()) return;
  for (const auto& value : later_) {
    Statement(Use(kDeleteValue)).Bind(value.first).Bind(value.second).Run();
  }
  later_.clear();
}

// ---- Care of the store: check, backup, restore ----

LONG Database::OpenToExamine(const std::string& path) {
  Close();
  int code =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    int error = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
    Close();
    return (code & 0xff) == SQLITE_CANTOPEN ? ErrorForFileSystem(error) : ErrorForDatabase(code);
  }
  sqlite3_extended_result_codes(db_, 1);
  deadline_ = MonotonicNanos() + 10'000'000'000;
  sqlite3_busy_handler(db_, WaitWhileBusy, &deadline_);
  return ERROR_SUCCESS;
}

std::string Database::Examine(StoreCounts* counts) {
  const bool own_transaction = sqlite3_get_autocommit(db_) != 0;
  std::string problem;
  try {
    DeleteLaterValues();
    DeleteLaterKeys();
    if (own_transaction) Exec("BEGIN");
    problem = ExamineSchema();
    if (problem.empty()) {
      sqlite3_stmt* raw = nullptr;
      int code = sqlite3_prepare_v2(db_, "PRAGMA integrity_check(3)", -1, &raw, nullptr);
      if (code != SQLITE_OK) throw DatabaseError{code};
      {
        Statement check(raw);
        while (check.Step()) {
          std::string line = check.Bytes(0);
          if (line == "ok") break;
          problem += (problem.empty() ? "SQLite's integrity check: " : "; ") + line;
        }
      }
      sqlite3_finalize(raw);
    }
    if (problem.empty()) {
      counts->keys = QueryInteger("SELECT count(*) FROM keys");
      counts->values = QueryInteger("SELECT count(*) FROM vals");
      counts->bytes = QueryInteger("PRAGMA page_count") * QueryInteger("PRAGMA page_size");
    }
  } catch (const DatabaseError& error) {
    problem = std::string("SQLite cannot read it: ") + sqlite3_errstr(error.code);
  }
  if (own_transaction) Rollback();
  return problem;
}

// The store's own checks, before SQLite's: what it is, and whether its tree holds together.
std::string Database::ExamineSchema() {
  const int64_t application_id = QueryInteger("PRAGMA application_id");
  if (application_id != kApplicationId) {
    char text[96];
    snprintf(text, sizeof text, "not a RuzIde store (its application id is 0x%08llx)",
             static_cast<unsigned long long>(application_id));
    return text;
  }
  const int64_t version = QueryInteger("PRAGMA user_version");
  if (version != kSchemaVersion) {
    return "a store of schema version " + std::to_string(version) + ", which this version (" +
           std::to_string(kSchemaVersion) + ") cannot read";
  }
  if (QueryInteger("SELECT count(*) FROM pragma_table_info('keys') WHERE name IN "
                   "('id', 'parent', 'name', 'folded', 'mtime')") != 5 ||
      QueryInteger("SELECT count(*) FROM pragma_table_info('vals') WHERE name IN "
                   "('key', 'folded', 'name', 'type', 'data', 'mtime')") != 6) {
    return "its tables are not those of a store";
  }
  legacy_ = !HasOrderColumn();
  times_ = HasTimesTable();
  if (QueryInteger("SELECT count(*) FROM keys WHERE id = 1 AND parent = 0") != 1) {
    return "its root key is missing";
  }
  int64_t orphans = QueryInteger(
      "SELECT count(*) FROM keys AS k WHERE id <> 1 AND NOT EXISTS "
      "(SELECT 1 FROM keys WHERE id = k.parent)");
  if (orphans != 0) return std::to_string(orphans) + " keys have no parent key";
  orphans = QueryInteger(
      "SELECT count(*) FROM vals WHERE NOT EXISTS (SELECT 1 FROM keys WHERE id = vals.key)");
  if (orphans != 0) return std::to_string(orphans) + " values belong to no key";
  return "";
}

LONG Database::CopyTo(const std::string& path) {
  sqlite3* copy = nullptr;
  int code =
      sqlite3_open_v2(path.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code == SQLITE_OK) {
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db_, "main");
    if (backup == nullptr) {
      code = sqlite3_extended_errcode(copy);
    } else {
      // All pages in one step: one read transaction, so one consistent state.
      code = sqlite3_backup_step(backup, -1);
      const int finished = sqlite3_backup_finish(backup);
      code = code == SQLITE_DONE ? finished : code;
    }
  }
  // A file of its own, readable without the -wal and -shm files of a store; the commit
  // above synced it (synchronous=FULL, the default outside WAL mode).
  if (code == SQLITE_OK)
    code = sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_close_v2(copy);
  return code == SQLITE_OK ? ERROR_SUCCESS : ErrorForDatabase(code);
}

template <typename Map>
void Database::CopyRows(Database& source, const char* select, const char* insert,
                        unsigned id_columns, Map map) {
  sqlite3_stmt* from = nullptr;
  sqlite3_stmt* to = nullptr;
  int code = sqlite3_prepare_v2(source.db_, select, -1, &from, nullptr);
  if (code == SQLITE_OK) code = sqlite3_prepare_v2(db_, insert, -1, &to, nullptr);
  while (code == SQLITE_OK && (code = sqlite3_step(from)) == SQLITE_ROW) {
    const int columns = sqlite3_column_count(from);
    code = SQLITE_OK;
    for (int i = 0; i < columns && code == SQLITE_OK; ++i) {
      code = (id_columns >> i & 1) != 0
                 ? sqlite3_bind_int64(to, i + 1, map(sqlite3_column_int64(from, i)))
                 : sqlite3_bind_value(to, i + 1, sqlite3_column_value(from, i));
    }
    if (code == SQLITE_OK && (code = sqlite3_step(to)) == SQLITE_DONE) code = sqlite3_reset(to);
  }
  sqlite3_finalize(from);
  sqlite3_finalize(to);
  if (code != SQLITE_DONE) throw DatabaseError{code};
}

void Database::ReplaceTree(Database& source) {
  const int64_t offset = QueryInteger(
      "SELECT max(ifnull((SELECT seq FROM sqlite_sequence WHERE name = 'keys'), 0), "
      "(SELECT max(id) FROM keys))");
  auto id = [offset](int64_t key) { return key == kRootKey ? kRootKey : key + offset; };
  ForgetTransaction();  // every key and value goes
  Exec("DELETE FROM vals; DELETE FROM keys WHERE id <> 1; DELETE FROM times;");
  // AUTOINCREMENT moves the sequence past the largest id inserted. Each key's row takes
  // its run's time, if later, the runs' ids being those of the source.
  std::string keys = std::string("SELECT id, parent, name, folded, max(mtime, ") +
                     (source.times_ ? kRunTime : "0") + "), " +
                     (source.legacy_ ? "NULL" : "class") + " FROM keys WHERE id <> 1";
  CopyRows(
      source, keys.c_str(),
      "INSERT INTO keys(id, parent, name, folded, mtime, class) VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
      0x3, id);
  keys = std::string("SELECT max(mtime, ") + (source.times_ ? kRunTime : "0") +
         ") FROM keys WHERE id = 1";
  CopyRows(source, keys.c_str(), "UPDATE keys SET mtime = ?1 WHERE id = 1", 0, id);
  CopyRows(source,
           source.legacy_ ? "SELECT key, folded, name, type, data, mtime, 0 FROM vals"
                          : "SELECT key, folded, name, type, data, mtime, seq FROM vals",
           "INSERT INTO vals(key, folded, name, type, data, mtime, seq) "
           "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
           0x1, id);
}

}  // namespace ruzide::registry
