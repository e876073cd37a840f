// Failing file operations on request, for the store's fault tests, in the manner of
// SQLite's own I/O-error tests: counting the operations a call makes, and failing the
// Nth (and, for a lasting fault, every one after it).
//
// Install() registers, as SQLite's default VFS and under the name "unix", a VFS that
// passes every call on to SQLite's unix VFS. The store finds it by that name when it first
// registers its own VFS, so installed before the first registry call it sits beneath the
// store's VFS, between it and the files, and sees every operation the store makes. The
// product carries no switch for it.
#ifndef RUZIDE_TESTS_STORE_FAULTVFS_H_
#define RUZIDE_TESTS_STORE_FAULTVFS_H_

#include <sqlite3.h>

#include <vector>

namespace fault {

enum class Kind {
  kIoError,   // any file operation fails with its SQLITE_IOERR_* code
  kDiskFull,  // writes fail with SQLITE_FULL
  kBusy,      // locks are refused with SQLITE_BUSY, as when another process holds them
};

enum Op {
  kRead,
  kWrite,
  kTruncate,
  kSync,
  kFileSize,
  kLock,
  kShmMap,
  kShmLock,
  kOpen,
  kDelete,
  kAccess
};

struct State {
  sqlite3_vfs* unix = nullptr;
  bool armed = false;
  Kind kind = Kind::kIoError;
  int countdown = 0;  // operations of the kind left before the fault
  bool lasting = false;
  int injected = 0;
  std::vector<Op>* trace = nullptr;  // each operation of the kind, while recording
};
inline State state;

// The code with which `op` fails now, or SQLITE_OK.
inline int Inject(Op op) {
  State& s = state;
  if (!s.armed) return SQLITE_OK;
  int code;
  switch (s.kind) {
    case Kind::kDiskFull:
      code = op == kWrite ? SQLITE_FULL : SQLITE_OK;
      break;
    case Kind::kBusy:
      code = op == kLock || op == kShmLock ? SQLITE_BUSY : SQLITE_OK;
      break;
    default: {
      static const int kCodes[] = {SQLITE_IOERR_READ,   SQLITE_IOERR_WRITE, SQLITE_IOERR_TRUNCATE,
                                   SQLITE_IOERR_FSYNC,  SQLITE_IOERR_FSTAT, SQLITE_IOERR_LOCK,
                                   SQLITE_IOERR_SHMMAP, SQLITE_OK,          SQLITE_CANTOPEN,
                                   SQLITE_IOERR_DELETE, SQLITE_IOERR_ACCESS};
      code = kCodes[op];
    }
  }
  if (code == SQLITE_OK) return SQLITE_OK;
  if (s.trace != nullptr) s.trace->push_back(op);
  if (s.countdown > 1) {
    --s.countdown;
    return SQLITE_OK;
  }
  if (s.countdown == 1 || s.lasting) {
    s.countdown = 0;
    ++s.injected;
    return code;
  }
  return SQLITE_OK;
}

// Fails the `nth` operation of `kind` from now on, and with `lasting` every one after it.
inline void Arm(Kind kind, int nth, bool lasting) {
  state.kind = kind;
  state.countdown = nth;
  state.lasting = lasting;
  state.injected = 0;
  state.armed = true;
}

// Ends the fault; returns how many operations failed.
inline int Disarm() {
  state.armed = false;
  state.trace = nullptr;
  return state.injected;
}

// Records, until Disarm, the operations that a fault of `kind` would count, failing none.
inline void Record(Kind kind, std::vector<Op>* trace) {
  Arm(kind, 0, false);
  state.trace = trace;
}

struct File {
  sqlite3_file base;
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};
inline sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real(); }

#define FAULT_PASS(method, ...) Real(f)->pMethods->method(Real(f), ##__VA_ARGS__)
// Fails with the fault's code, or passes the call on.
#define FAULT_TRY(op, method, ...) \
  int code = Inject(op);           \
  return code != SQLITE_OK ? code : FAULT_PASS(method, ##__VA_ARGS__)
inline const sqlite3_io_methods kMethods = {
    3,
    [](sqlite3_file* f) { return FAULT_PASS(xClose); },
    [](sqlite3_file* f, void* p, int n, sqlite3_int64 at) { FAULT_TRY(kRead, xRead, p, n, at); },
    [](sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
      FAULT_TRY(kWrite, xWrite, p, n, at);
    },
    [](sqlite3_file* f, sqlite3_int64 size) { FAULT_TRY(kTruncate, xTruncate, size); },
    [](sqlite3_file* f, int flags) { FAULT_TRY(kSync, xSync, flags); },
    [](sqlite3_file* f, sqlite3_int64* size) { FAULT_TRY(kFileSize, xFileSize, size); },
    [](sqlite3_file* f, int level) { FAULT_TRY(kLock, xLock, level); },
    [](sqlite3_file* f, int level) { return FAULT_PASS(xUnlock, level); },
    [](sqlite3_file* f, int* out) { return FAULT_PASS(xCheckReservedLock, out); },
    [](sqlite3_file* f, int op, void* arg) { return FAULT_PASS(xFileControl, op, arg); },
    [](sqlite3_file* f) { return FAULT_PASS(xSectorSize); },
    [](sqlite3_file* f) { return FAULT_PASS(xDeviceCharacteristics); },
    [](sqlite3_file* f, int region, int size, int extend, void volatile** map) {
      FAULT_TRY(kShmMap, xShmMap, region, size, extend, map);
    },
    [](sqlite3_file* f, int offset, int n, int flags) {
      if ((flags & SQLITE_SHM_LOCK) == 0) return FAULT_PASS(xShmLock, offset, n, flags);
      FAULT_TRY(kShmLock, xShmLock, offset, n, flags);
    },
    [](sqlite3_file* f) { FAULT_PASS(xShmBarrier); },
    [](sqlite3_file* f, int remove) { return FAULT_PASS(xShmUnmap, remove); },
    [](sqlite3_file* f, sqlite3_int64 at, int n, void** p) { return FAULT_PASS(xFetch, at, n, p); },
    [](sqlite3_file* f, sqlite3_int64 at, void* p) { return FAULT_PASS(xUnfetch, at, p); },
};
#undef FAULT_TRY
#undef FAULT_PASS

// Registers the VFS; call it before the first registry call.
inline void Install() {
  static sqlite3_vfs vfs;
  if (state.unix != nullptr) return;
  state.unix = sqlite3_vfs_find("unix");
  vfs = *state.unix;
  vfs.pNext = nullptr;
  vfs.szOsFile = static_cast<int>(sizeof(File)) + state.unix->szOsFile;
  vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out) {
    sqlite3_file* real = reinterpret_cast<File*>(file)->real();
    int code = Inject(kOpen);
    if (code == SQLITE_OK)
      code = state.unix->xOpen(state.unix, name, real, flags, out);
    else
      real->pMethods = nullptr;
    file->pMethods = real->pMethods != nullptr ? &kMethods : nullptr;
    return code;
  };
  vfs.xDelete = [](sqlite3_vfs*, const char* name, int sync) {
    int code = Inject(kDelete);
    return code != SQLITE_OK ? code : state.unix->xDelete(state.unix, name, sync);
  };
  vfs.xAccess = [](sqlite3_vfs*, const char* name, int flags, int* out) {
    int code = Inject(kAccess);
    return code != SQLITE_OK ? code : state.unix->xAccess(state.unix, name, flags, out);
  };
  // The rest of the unix VFS's methods are used as they are: they ignore their first
  // argument, or use only what the copy holds too.
  sqlite3_vfs_register(&vfs, 1);
}

}  // namespace fault

#endif  // RUZIDE_TESTS_STORE_FAULTVFS_H_
