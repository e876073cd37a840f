#include "platform/registry/StoreVfs.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

namespace ruzide::registry {

namespace {

const char kVfsName[] = "ruzide-store";  // and the address of this copy's shim

// The wal-index lock slots, as the WAL format defines them: the writer's lock, the
// checkpointer's, recovery's, the lock of readers that ignore the WAL, then read marks.
constexpr int kWriteLock = 0;
constexpr int kCheckpointLock = 1;
constexpr int kFirstReadMark = 4;

// The size of a WAL frame's header, which SQLite writes just before the frame's page, and
// where in it the database's size after a commit is, which only a commit's last frame has.
constexpr int kFrameHeaderSize = 24;
constexpr int kCommitSizeAt = 4;

// How many bytes of frames a WAL holds back before writing them, and the most it may
// hold: SQLite's unix VFS writes at most 128 KB less one byte in a call.
constexpr int kHeldToWrite = 64 * 1024;
constexpr int kMaxHeld = 128 * 1024 - 1;

// How many bytes of a WAL a checkpoint reads at once when it reads frames in file order.
constexpr int kReadAhead = 64 * 1024;

// A file opened through the VFS: ours, followed by the unix VFS's own.
struct StoreFile {
  sqlite3_file base;
  ReaderFence* fence;    // set by RelyOnStoreLock, for the main database only
  bool fencing_writers;  // holds the write and checkpoint locks shared
  bool is_wal;
  // A database's WAL while it is open, and a WAL's database: the database's wal-index
  // locks write what its WAL holds back (WriteWal).
  StoreFile* wal;
  StoreFile* database;
  // For a WAL: whole frames, and perhaps the header of one more, appended since the last
  // write, to be written at once from held_at; room for kMaxHeld bytes once allocated.
  unsigned char* held;
  int held_size;
  sqlite3_int64 held_at;
  bool awaiting_page;        // the last thing held is a frame's header
  bool commit_frame;         // and that frame ends a commit
  sqlite3_int64 written_to;  // where this file's last write ended, or -1
  // For a database: this connection holds the checkpoint lock, so writes to the file are
  // pages copied from the WAL (WriteCopiedPage).
  bool checkpointing;
  // For a WAL while its database checkpoints: frames read ahead from ahead_at, room for
  // kReadAhead bytes once allocated, and where the last read ended (ReadFrames).
  unsigned char* ahead;
  int ahead_size;
  sqlite3_int64 ahead_at;
  sqlite3_int64 read_to;
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};
static_assert(sizeof(StoreFile) % alignof(sqlite3_int64) == 0, "the unix file is aligned");

StoreFile* AsStoreFile(sqlite3_file* file) { return reinterpret_cast<StoreFile*>(file); }
sqlite3_vfs* Unix(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

int RealWrite(StoreFile* file, const void* data, int amount, sqlite3_int64 offset) {
  int code = file->real()->pMethods->xWrite(file->real(), data, amount, offset);
  file->written_to = code == SQLITE_OK ? offset + amount : -1;
  return code;
}

// Writes what the file holds back. What it could not write it keeps, so that a commit
// that follows fails too rather than leave out frames SQLite believes written.
int WriteHeld(StoreFile* file) {
  if (file->held_size == 0) return SQLITE_OK;
  int code = RealWrite(file, file->held, file->held_size, file->held_at);
  if (code == SQLITE_OK) {
    file->held_size = 0;
    file->awaiting_page = false;
  }
  return code;
}

// Appends a write to what the file holds; false if there is no room or memory for it.
bool Hold(StoreFile* file, const void* data, int amount, sqlite3_int64 offset) {
  if (amount > kMaxHeld - file->held_size) return false;
  if (file->held == nullptr) {
    file->held = static_cast<unsigned char*>(sqlite3_malloc(kMaxHeld));
    if (file->held == nullptr) return false;
  }
  if (file->held_size == 0) file->held_at = offset;
  std::memcpy(file->held + file->held_size, data, amount);
  file->held_size += amount;
  return true;
}

// Writes what the file holds back, then `data` at once.
int WriteThrough(StoreFile* file, const void* data, int amount, sqlite3_int64 offset) {
  int code = WriteHeld(file);
  if (code != SQLITE_OK) return code;
  return RealWrite(file, data, amount, offset);
}

// SQLite appends each WAL frame as two writes, its header and then its page, and a write
// costs a system call whatever its size: a commit of a large transaction made two for
// each page it changed. So frames appended to a WAL are held back and written together,
// some 64 KB at a time, and at the latest with a commit's last frame, before
// SQLite publishes the commit in the wal-index or reports it done: a commit is in the
// file, as before, when it returns, and a process killed with frames held loses only
// frames no commit has claimed. Any other call on the WAL first writes what it holds,
// so SQLite's own reading and rewriting of frames sees the file as it wrote it. A
// transaction rolled back leaves frames held that no commit will claim; the wal-index
// lock calls of its database write them before it lets another writer append where they
// go (ShmLock), which would otherwise overwrite that writer's frames later.
int WriteWal(StoreFile* store, const void* data, int amount, sqlite3_int64 offset) {
  store->ahead_size = 0;  // frames read ahead may be the ones written over
  const sqlite3_int64 end =
      store->held_size > 0 ? store->held_at + store->held_size : store->written_to;
  if (offset == end) {
    if (!store->awaiting_page && amount == kFrameHeaderSize && Hold(store, data, amount, offset)) {
      const unsigned char* size = static_cast<const unsigned char*>(data) + kCommitSizeAt;
      store->awaiting_page = true;
      store->commit_frame = (size[0] | size[1] | size[2] | size[3]) != 0;
      return SQLITE_OK;
    }
    if (store->awaiting_page && Hold(store, data, amount, offset)) {
      store->awaiting_page = false;
      // A WAL whose database is not known to be ours has no lock calls to rely on.
      bool write_now =
          store->commit_frame || store->held_size >= kHeldToWrite || store->database == nullptr;
      return write_now ? WriteHeld(store) : SQLITE_OK;
    }
  }
  return WriteThrough(store, data, amount, offset);
}

// A checkpoint copies each page from the WAL into the database with a write of its own,
// in the order of the pages' numbers, and a large transaction's pages mostly follow each
// other: a write that continues what the file holds is held too, and they are written
// together some 64 KB at a time. Any other call on the file first writes what it holds.
// A write held to the end of the copying that then fails must fail the checkpoint, which
// it does because the checkpoint copies the whole WAL: SQLite then truncates the file
// before it records the frames as copied, and that call fails with the write. A
// checkpoint stops short of the WAL's end only when a reader holds a read mark, which a
// connection that relies on the store lock never finds (ShmLock), so only those hold.
int WriteCopiedPage(StoreFile* store, const void* data, int amount, sqlite3_int64 offset) {
  if (store->held_size > 0 && offset != store->held_at + store->held_size) {
    int code = WriteHeld(store);
    if (code != SQLITE_OK) return code;
  }
  if (!Hold(store, data, amount, offset)) return WriteThrough(store, data, amount, offset);
  return store->held_size >= kHeldToWrite ? WriteHeld(store) : SQLITE_OK;
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  StoreFile* store = AsStoreFile(file);
  if (store->is_wal) return WriteWal(store, data, amount, offset);
  if (store->checkpointing) return WriteCopiedPage(store, data, amount, offset);
  return WriteThrough(store, data, amount, offset);
}

// Reads a frame's page for a checkpoint, which reads each with a call of its own, in the
// order of the pages' numbers: a transaction's commit writes its pages in that order, so
// the frames are mostly read one after another. A read that starts at the page of the
// frame after the last one read takes the next 64 KB of the file with it, from which the
// reads that follow are served. False when the read must go to the file as it is.
bool ReadFrames(StoreFile* store, void* data, int amount, sqlite3_int64 offset) {
  const bool next_frame = offset == store->read_to + kFrameHeaderSize;
  store->read_to = offset + amount;
  if (store->ahead_size > 0 && offset >= store->ahead_at &&
      offset + amount <= store->ahead_at + store->ahead_size) {
    std::memcpy(data, store->ahead + (offset - store->ahead_at), amount);
    return true;
  }
  store->ahead_size = 0;
  if (!next_frame || amount > kReadAhead) return false;
  if (store->ahead == nullptr) {
    store->ahead = static_cast<unsigned char*>(sqlite3_malloc(kReadAhead));
    if (store->ahead == nullptr) return false;
  }
  sqlite3_file* real = store->real();
  // A read past the file's end fails short: the last frames are read as asked.
  if (real->pMethods->xRead(real, store->ahead, kReadAhead, offset) != SQLITE_OK) return false;
  store->ahead_at = offset;
  store->ahead_size = kReadAhead;
  std::memcpy(data, store->ahead, amount);
  return true;
}

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  StoreFile* store = AsStoreFile(file);
  int code = WriteHeld(store);
  if (code != SQLITE_OK) return code;
  if (store->is_wal && store->database != nullptr && store->database->checkpointing &&
      ReadFrames(store, data, amount, offset)) {
    return SQLITE_OK;
  }
  return store->real()->pMethods->xRead(store->real(), data, amount, offset);
}

// Passes a call on to the unix VFS's file, after writing what the file holds back.
template <typename Method>
struct ForwardFile;
template <typename Result, typename... Args>
struct ForwardFile<Result (*)(sqlite3_file*, Args...)> {
  template <Result (*sqlite3_io_methods::*method)(sqlite3_file*, Args...)>
  static Result To(sqlite3_file* file, Args... args) {
    StoreFile* store = AsStoreFile(file);
    store->ahead_size = 0;  // a WAL's read-ahead serves only the reads in a row
    int code = WriteHeld(store);
    if constexpr (std::is_same_v<Result, int>) {
      if (code != SQLITE_OK) return code;
    }
    sqlite3_file* real = store->real();
    return (real->pMethods->*method)(real, args...);
  }
};
template <typename Method>
struct ForwardVfs;
template <typename Result, typename... Args>
struct ForwardVfs<Result (*)(sqlite3_vfs*, Args...)> {
  template <Result (*sqlite3_vfs::*method)(sqlite3_vfs*, Args...)>
  static Result To(sqlite3_vfs* vfs, Args... args) {
    return (Unix(vfs)->*method)(Unix(vfs), args...);
  }
};
#define RUZIDE_FORWARD_FILE(name) \
  &ForwardFile<decltype(sqlite3_io_methods::name)>::To<&sqlite3_io_methods::name>
#define RUZIDE_FORWARD_VFS(name) &ForwardVfs<decltype(sqlite3_vfs::name)>::To<&sqlite3_vfs::name>

int RealShmLock(StoreFile* file, int offset, int flags) {
  return file->real()->pMethods->xShmLock(file->real(), offset, 1, flags);
}

int FenceOffWriters(StoreFile* file) {
  int code = RealShmLock(file, kWriteLock, SQLITE_SHM_LOCK | SQLITE_SHM_SHARED);
  if (code != SQLITE_OK) return code;
  code = RealShmLock(file, kCheckpointLock, SQLITE_SHM_LOCK | SQLITE_SHM_SHARED);
  if (code != SQLITE_OK) {
    RealShmLock(file, kWriteLock, SQLITE_SHM_UNLOCK | SQLITE_SHM_SHARED);
    return code;
  }
  file->fencing_writers = true;
  return SQLITE_OK;
}

int Close(sqlite3_file* file) {
  StoreFile* store = AsStoreFile(file);
  int held = WriteHeld(store);
  sqlite3_free(store->held);
  store->held = nullptr;
  store->held_size = 0;
  sqlite3_free(store->ahead);
  store->ahead = nullptr;
  store->ahead_size = 0;
  if (store->database != nullptr) store->database->wal = nullptr;
  if (store->wal != nullptr) store->wal->database = nullptr;
  int code = store->real()->pMethods->xClose(store->real());
  return held != SQLITE_OK ? held : code;
}

// Frames still held when a wal-index lock changes are a rolled-back transaction's
// (WriteWal). Written before another writer may append where they go, or dropped if they
// cannot be once the write lock is let go: no commit claims them, and written later they
// would overwrite the next writer's frames.
void WriteHeldBeforeLock(StoreFile* wal, int offset, int count, int flags) {
  if (WriteHeld(wal) == SQLITE_OK) return;
  bool ends_writing =
      (flags & SQLITE_SHM_UNLOCK) != 0 && offset <= kWriteLock && kWriteLock < offset + count;
  if (ends_writing) {
    wal->held_size = 0;
    wal->awaiting_page = false;
  }
}

int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** map) {
  StoreFile* store = AsStoreFile(file);
  int code = store->real()->pMethods->xShmMap(store->real(), region, size, extend, map);
  // The wal-index locks exist once it is mapped; none of its content is used before.
  if (code == SQLITE_OK && store->fence != nullptr && !store->fencing_writers) {
    code = FenceOffWriters(store);
  }
  return code;
}

// A checkpoint ends when its lock is let go, and with it the copying of pages. Pages
// still held are written; if they cannot be, they are dropped: the truncation failed with
// them, so SQLite did not record them as copied and still reads them from the WAL, while
// written later they could overwrite what the next checkpoint copies.
void EndCheckpoint(StoreFile* database) {
  database->checkpointing = false;
  if (WriteHeld(database) != SQLITE_OK) database->held_size = 0;
  if (database->wal != nullptr) database->wal->ahead_size = 0;
}

int TakeOrDropLock(StoreFile* store, int offset, int count, int flags) {
  if (store->fence == nullptr) {
    return store->real()->pMethods->xShmLock(store->real(), offset, count, flags);
  }
  if ((flags & SQLITE_SHM_UNLOCK) != 0 || (flags & SQLITE_SHM_EXCLUSIVE) == 0) return SQLITE_OK;
  // A writer appending frames and a reader claiming a read mark leave alone whatever
  // another reader's snapshot consists of; anything else exclusive may overwrite it.
  bool harmless = count == 1 && (offset == kWriteLock || offset >= kFirstReadMark);
  return harmless || store->fence->ExcludeOutsideReaders() ? SQLITE_OK : SQLITE_BUSY;
}

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
  StoreFile* store = AsStoreFile(file);
  if (store->wal != nullptr) WriteHeldBeforeLock(store->wal, offset, count, flags);
  const bool checkpoint_lock = offset <= kCheckpointLock && kCheckpointLock < offset + count;
  if (checkpoint_lock && (flags & SQLITE_SHM_UNLOCK) != 0 && store->checkpointing) {
    EndCheckpoint(store);
  }
  int code = TakeOrDropLock(store, offset, count, flags);
  if (code == SQLITE_OK && checkpoint_lock && store->fence != nullptr &&
      (flags & SQLITE_SHM_LOCK) != 0 && (flags & SQLITE_SHM_EXCLUSIVE) != 0) {
    store->checkpointing = true;
  }
  return code;
}

int ShmUnmap(sqlite3_file* file, int delete_flag) {
  StoreFile* store = AsStoreFile(file);
  // SQLite's unix VFS keeps the locks of a connection that unmaps while holding some.
  if (store->fencing_writers) {
    RealShmLock(store, kCheckpointLock, SQLITE_SHM_UNLOCK | SQLITE_SHM_SHARED);
    RealShmLock(store, kWriteLock, SQLITE_SHM_UNLOCK | SQLITE_SHM_SHARED);
    store->fencing_writers = false;
  }
  return store->real()->pMethods->xShmUnmap(store->real(), delete_flag);
}

const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    RUZIDE_FORWARD_FILE(xTruncate),
    RUZIDE_FORWARD_FILE(xSync),
    RUZIDE_FORWARD_FILE(xFileSize),
    RUZIDE_FORWARD_FILE(xLock),
    RUZIDE_FORWARD_FILE(xUnlock),
    RUZIDE_FORWARD_FILE(xCheckReservedLock),
    RUZIDE_FORWARD_FILE(xFileControl),
    RUZIDE_FORWARD_FILE(xSectorSize),
    RUZIDE_FORWARD_FILE(xDeviceCharacteristics),
    ShmMap,
    ShmLock,
    RUZIDE_FORWARD_FILE(xShmBarrier),
    ShmUnmap,
    RUZIDE_FORWARD_FILE(xFetch),
    RUZIDE_FORWARD_FILE(xUnfetch),
};

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  StoreFile* store = AsStoreFile(file);
  store->fence = nullptr;
  store->fencing_writers = false;
  store->is_wal = (flags & SQLITE_OPEN_WAL) != 0;
  store->wal = nullptr;
  store->database = nullptr;
  store->held = nullptr;
  store->held_size = 0;
  store->held_at = 0;
  store->awaiting_page = false;
  store->commit_frame = false;
  store->written_to = -1;
  store->checkpointing = false;
  store->ahead = nullptr;
  store->ahead_size = 0;
  store->ahead_at = 0;
  store->read_to = -1;
  sqlite3_file* real = store->real();
  // The store's files are regular files of its own: never a link another user planted, nor
  // a FIFO whose opening would wait for ever.
  struct stat info;
  if (name != nullptr && lstat(name, &info) == 0 && !S_ISREG(info.st_mode)) {
    real->pMethods = nullptr;
    store->base.pMethods = nullptr;
    return SQLITE_CANTOPEN;
  }
  int code = Unix(vfs)->xOpen(Unix(vfs), name, real, flags, out_flags);
  // Every method above is forwarded, so the unix VFS must supply all of them.
  if (code == SQLITE_OK && real->pMethods->iVersion < kMethods.iVersion) {
    real->pMethods->xClose(real);
    real->pMethods = nullptr;
    code = SQLITE_CANTOPEN;
  }
  store->base.pMethods = real->pMethods != nullptr ? &kMethods : nullptr;
  if (code == SQLITE_OK && store->is_wal) {
    sqlite3_file* database = sqlite3_database_file_object(name);
    if (database != nullptr && database->pMethods == &kMethods) {
      store->database = AsStoreFile(database);
      store->database->wal = store;
    }
  }
  return code;
}

// The name the shim registers under, or null when it could not register. Every copy of
// this code in a process (a program may link the store and also load a library that
// holds its own) registers a shim of its own, under a name of its own: files opened
// through another copy's shim would not be ours to recognise.
const char* Register() {
  static sqlite3_vfs vfs;
  static char name[48];
  snprintf(name, sizeof name, "%s-%p", kVfsName, static_cast<void*>(&vfs));
  sqlite3_vfs* unix = sqlite3_vfs_find("unix");
  if (unix == nullptr || unix->iVersion < 3) return nullptr;
  vfs.iVersion = 3;
  vfs.szOsFile = static_cast<int>(sizeof(StoreFile)) + unix->szOsFile;
  vfs.mxPathname = unix->mxPathname;
  vfs.zName = name;
  vfs.pAppData = unix;
  vfs.xOpen = Open;
  vfs.xDelete = RUZIDE_FORWARD_VFS(xDelete);
  vfs.xAccess = RUZIDE_FORWARD_VFS(xAccess);
  vfs.xFullPathname = RUZIDE_FORWARD_VFS(xFullPathname);
  vfs.xDlOpen = RUZIDE_FORWARD_VFS(xDlOpen);
  vfs.xDlError = RUZIDE_FORWARD_VFS(xDlError);
  vfs.xDlSym = RUZIDE_FORWARD_VFS(xDlSym);
  vfs.xDlClose = RUZIDE_FORWARD_VFS(xDlClose);
  vfs.xRandomness = RUZIDE_FORWARD_VFS(xRandomness);
  vfs.xSleep = RUZIDE_FORWARD_VFS(xSleep);
  vfs.xCurrentTime = RUZIDE_FORWARD_VFS(xCurrentTime);
  vfs.xGetLastError = RUZIDE_FORWARD_VFS(xGetLastError);
  vfs.xCurrentTimeInt64 = RUZIDE_FORWARD_VFS(xCurrentTimeInt64);
  vfs.xSetSystemCall = RUZIDE_FORWARD_VFS(xSetSystemCall);
  vfs.xGetSystemCall = RUZIDE_FORWARD_VFS(xGetSystemCall);
  vfs.xNextSystemCall = RUZIDE_FORWARD_VFS(xNextSystemCall);
  return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? name : nullptr;
}

}  // namespace

const char* StoreVfsName() {
  static const char* const name = Register();
  return name;
}

bool RelyOnStoreLock(sqlite3* db, ReaderFence* fence) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods != &kMethods) {
    return false;
  }
  AsStoreFile(file)->fence = fence;
  return true;
}

}  // namespace ruzide::registry
