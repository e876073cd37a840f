// Care of a root's store by its administrator: checking it, backing it up and restoring
// it, for RuzIde's own tools (`ruzide store`). Applications use only the registry
// functions of platform/WinReg.h.
//
// Each works on `root` (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE) as the environment
// places it now, under the store lock, alongside any number of processes that use the
// store, and fails with ERROR_ACCESS_DENIED on a root this process may not write (see
// docs/store.md, Read-only roots). ERROR_INVALID_HANDLE for any other root. A thread must
// not call them inside a transaction (StoreTransaction.h).
#ifndef RUZIDE_PLATFORM_REGISTRY_STORECARE_H_
#define RUZIDE_PLATFORM_REGISTRY_STORECARE_H_

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace ruzide::registry {

// What a check found in a sound store.
struct StoreSummary {
  std::string database;  // the file checked
  bool exists = false;   // false: no database yet, the root holds only its root key
  int64_t keys = 0;      // the root key included
  int64_t values = 0;
  int64_t bytes = 0;  // the database's pages, the WAL not counted
};

// Checks the root's database: its header (an SQLite file of whole pages, as long as its
// header says), that it is a store of this schema, that its tree holds together, and
// SQLite's integrity check. ERROR_SUCCESS for a sound store, with *summary filled;
// ERROR_BADDB for a damaged one, with *problem saying what is wrong (the root then fails
// every call of this process with ERROR_BADDB until it is restored); otherwise the code
// for what kept the check from reading it (the folder, the lock).
LONG CheckStore(HKEY root, StoreSummary* summary, std::string* problem);

// Copies the root's database, as one consistent state between two writes, into the file
// at `path`, which must exist and be empty (the caller makes it new, so that it can give
// it the place it wants atomically). The copy is an SQLite database of its own that has
// reached the disk and passes CheckStore's checks; ERROR_BADDB, with *problem, if the
// root is damaged. A root without a database yet is copied as an empty store.
LONG BackupStore(HKEY root, const std::string& path, std::string* problem);

// Makes the root's tree that of the store file at `path` (a backup), in one transaction:
// every process sees the old tree or the new one, never a mixture, its caches follow at
// its next call, and its watches of the root are signalled. Handles opened before, other
// than the roots, then name deleted keys (ERROR_KEY_DELETED). A file that fails
// CheckStore's checks (damaged, cut short, not a store or of another schema version) is
// refused with ERROR_BADDB and *problem, the root untouched; a file that cannot be read
// with its own code and *problem. A damaged root's files are
// first set aside beside it as <root>.db.damaged (and -wal), and processes that found it
// damaged use the restored one from their next call.
LONG RestoreStore(HKEY root, const std::string& path, std::string* problem);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORECARE_H_
