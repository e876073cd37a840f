// The SQLite VFS through which a process that takes the store lock (StoreLock.h) opens its
// database: SQLite's unix VFS, except for the wal-index locks.
//
// The store lock already gives each of those processes the database to itself for every
// transaction, so SQLite's locks between them would only cost system calls: three lock
// changes to begin a transaction and three to end it. Through this VFS they cost none:
//
//  - Taking or dropping a wal-index lock succeeds without a system call, with one kind of
//    exception. The operations that overwrite what a reader may still be reading, namely
//    checkpointing into the database file, restarting the WAL from its beginning and
//    rebuilding the wal-index, begin with an exclusive lock other than the write lock or
//    a single read mark. Readers that do not take the store lock (processes that cannot
//    write the shared file) would be hurt by them, so before granting such a lock the VFS
//    asks the store lock to shut those readers out (ReaderFence), and reports SQLITE_BUSY
//    if one of them is in a read transaction: SQLite then skips the checkpoint or restart,
//    or the store retries the rebuild.
//  - For as long as the connection has the wal-index mapped it holds SQLite's write and
//    checkpoint locks shared, for real. Programs that rely on SQLite's own locking, such
//    as the sqlite3 shell or older versions of the store, therefore cannot write or
//    checkpoint while any process of the store has it open: they find the database busy.
//
// Writes and reads are gathered where SQLite makes one call a page: the frames a
// transaction appends to the WAL, and the pages a checkpoint copies from the WAL into the
// database, are written some 64 KB at a time, and a checkpoint that reads frames in file
// order reads 64 KB at a time (StoreVfs.cpp says when each reaches the file).
//
// Everything else, the database file's own locks included, is SQLite's unix VFS unchanged.
#ifndef RUZIDE_PLATFORM_REGISTRY_STOREVFS_H_
#define RUZIDE_PLATFORM_REGISTRY_STOREVFS_H_

struct sqlite3;

namespace ruzide::registry {

// What the store VFS asks of the store lock.
class ReaderFence {
 public:
  // Called with the store lock held, before an operation that would disturb a read
  // transaction of a reader that does not take the store lock. Returns false if such a
  // reader is in one; otherwise no such reader can start one until the store lock is
  // released.
  virtual bool ExcludeOutsideReaders() = 0;

 protected:
  ~ReaderFence() = default;
};

// The VFS's name for sqlite3_open_v2, registering it on first use; null if it cannot be.
const char* StoreVfsName();

// Makes `db`, just opened through StoreVfsName() and not yet used, rely on the store lock
// and ask `fence` as above. Returns false if `db` was not opened through the VFS.
bool RelyOnStoreLock(sqlite3* db, ReaderFence* fence);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STOREVFS_H_
