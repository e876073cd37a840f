// Where each root's store lives, and whether this process may write it.
#ifndef RUZIDE_PLATFORM_REGISTRY_STORELOCATION_H_
#define RUZIDE_PLATFORM_REGISTRY_STORELOCATION_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace ruzide::registry {

// The roots the store serves, as indexes into per-root tables.
enum RootIndex { kCurrentUser = 0, kLocalMachine = 1, kRootCount = 2 };

// Returns the index of a predefined root handle, in either width, or -1 for any other.
int RootIndexOf(HKEY root);

// Returns the root's name, "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
const char* RootName(int root);

// The entries of RUZIDE_REGISTRY_READONLY as it is now, trimmed of blanks; empty entries
// are left out.
std::vector<std::string> ReadOnlyListEntries();
// The index of the root that a list entry names (its long or short name, any case), or
// -1 for an entry that names no root.
int RootNamedBy(const std::string& entry);

struct StoreLocation {
  std::string folder;      // holds the files below; created on first use
  std::string database;    // <folder>/<root name>.db
  std::string generation;  // <folder>/<root name>.gen, see SharedFile
  mode_t folder_mode;      // for a folder the store creates
  mode_t file_mode;        // 0600 for the user root, 0644 for the machine root
  bool listed_read_only;   // the root is named in RUZIDE_REGISTRY_READONLY
};

// Resolves the root's files from the environment as it is now.
//
// RUZIDE_REGISTRY names the folder of both roots; RUZIDE_MACHINE_REGISTRY, when set,
// that of the machine root instead. Unset, the user root lives in
// $XDG_CONFIG_HOME/ruzide (else ~/.config/ruzide) and the machine root in
// /var/lib/ruzide. RUZIDE_REGISTRY_READONLY is a comma-separated list of root names
// (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, or HKCU, HKLM; any case) this process must not
// write.
StoreLocation LocateStore(int root);

// Refuses a store folder that another user could change, where files could be swapped
// for links to files of theirs: ERROR_ACCESS_DENIED unless the folder belongs to this
// user or root and no one else may write it (world-writable, or group-writable for a
// group other than this user's), or it is sticky and every store file in it is this
// user's. ERROR_PATH_NOT_FOUND if it is not a folder; ERROR_SUCCESS if it does not exist.
LONG CheckStoreFolder(const StoreLocation& location);

// Where the run-time database of volatile keys lives for the store whose database file
// has `device` and `inode`: in /dev/shm, a file system in memory that a restart of the
// machine empties, in a folder named after the file, so that every process and user of
// the store finds the same one and another store's never. Folder and files take the
// store's modes; `generation` is empty, the store's own serving both databases.
StoreLocation RunTimeLocation(const StoreLocation& store, dev_t device, ino_t inode);

// CheckStoreFolder for a run-time folder, which also must not be a symbolic link: others
// may add names to /dev/shm.
LONG CheckRunTimeFolder(const StoreLocation& location);

// Checks SQLite's -wal and -shm files and the .gen file beside an existing database:
// ERROR_ACCESS_DENIED for a symbolic link, ERROR_REGISTRY_IO_FAILED for anything but a
// regular file. With
// `repair`, gives this user's side files the database file's mode again: a process that
// reads while the database is read-only creates them with that mode, and a writer could
// not use them once it is writable again.
LONG CheckSideFiles(const StoreLocation& location, bool repair);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_STORELOCATION_H_
