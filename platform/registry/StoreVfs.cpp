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

// The size of a WAL frame's header, which SQLite writes just before the frame's page.
constexpr int kFrameHeaderSize = 24;

// A file opened through the VFS: ours, followed by the unix VFS's own.
struct StoreFile {
  sqlite3_file base;
  ReaderFence* fence;    // set by RelyOnStoreLock, for the main database only
  bool fencing_writers;  // holds the write and checkpoint locks shared
  // For a WAL: a frame header held back to be written with its page (WriteWal).
  bool is_wal;
  bool holding_header;
  unsigned char header[kFrameHeaderSize];
  sqlite3_int64 header_offset;
  sqlite3_int64 written_to;  // where this file's last write ended, or -1
  unsigned char* frame;      // header and page, for writing them at once
  sqlite3_int64 frame_size;
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

int WriteHeldHeader(StoreFile* file) {
  if (!file->holding_header) return SQLITE_OK;
  file->holding_header = false;
  return RealWrite(file, file->header, kFrameHeaderSize, file->header_offset);
}

// SQLite appends each WAL frame as two writes, its header and then its page, and a write
// costs a system call whatever its size. So a header written where this file's last
// write ended is held back, and goes out in one write with the page that follows it:
// about 1.5 us of CPU less for a one-value write, a tenth of it (docs/store.md).
// Any other call on the file first writes a header still held. A frame is in the file
// whole as soon as its page is, and SQLite publishes a frame in the wal-index only after
// writing its page, so no process ever finds a published frame without its header, nor
// does recovery after a crash.
bool ReserveFrame(StoreFile* file, sqlite3_int64 size) {
  if (size <= file->frame_size) return true;
  void* grown = sqlite3_realloc64(file->frame, size);
  if (grown == nullptr) return false;
  file->frame = static_cast<unsigned char*>(grown);
  file->frame_size = size;
  return true;
}

int WriteWal(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  StoreFile* store = AsStoreFile(file);
  sqlite3_int64 size = kFrameHeaderSize + sqlite3_int64{amount};
  if (store->holding_header && offset == store->header_offset + kFrameHeaderSize &&
      ReserveFrame(store, size)) {
    std::memcpy(store->frame, store->header, kFrameHeaderSize);
    std::memcpy(store->frame + kFrameHeaderSize, data, amount);
    store->holding_header = false;
    return RealWrite(store, store->frame, static_cast<int>(size), store->header_offset);
  }
  int code = WriteHeldHeader(store);
  if (code != SQLITE_OK) return code;
  if (store->is_wal && amount == kFrameHeaderSize && offset == store->written_to) {
    std::memcpy(store->header, data, kFrameHeaderSize);
    store->header_offset = offset;
    store->holding_header = true;
    return SQLITE_OK;
  }
  return RealWrite(store, data, amount, offset);
}

// Passes a call on to the unix VFS's file, after writing any header held back.
template <typename Method>
struct ForwardFile;
template <typename Result, typename... Args>
struct ForwardFile<Result (*)(sqlite3_file*, Args...)> {
  template <Result (*sqlite3_io_methods::*method)(sqlite3_file*, Args...)>
  static Result To(sqlite3_file* file, Args... args) {
    StoreFile* store = AsStoreFile(file);
    int code = WriteHeldHeader(store);
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
  int held = WriteHeldHeader(store);
  sqlite3_free(store->frame);
  store->frame = nullptr;
  int code = store->real()->pMethods->xClose(store->real());
  return held != SQLITE_OK ? held : code;
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

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
  StoreFile* store = AsStoreFile(file);
  if (store->fence == nullptr) {
    return store->real()->pMethods->xShmLock(store->real(), offset, count, flags);
  }
  if ((flags & SQLITE_SHM_UNLOCK) != 0 || (flags & SQLITE_SHM_EXCLUSIVE) == 0) return SQLITE_OK;
  // A writer appending frames and a reader claiming a read mark leave alone whatever
  // another reader's snapshot consists of; anything else exclusive may overwrite it.
  bool harmless = count == 1 && (offset == kWriteLock || offset >= kFirstReadMark);
  return harmless || store->fence->ExcludeOutsideReaders() ? SQLITE_OK : SQLITE_BUSY;
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
    RUZIDE_FORWARD_FILE(xRead),
    WriteWal,
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
  store->holding_header = false;
  store->written_to = -1;
  store->frame = nullptr;
  store->frame_size = 0;
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
