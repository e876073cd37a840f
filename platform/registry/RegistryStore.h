// Control of the embedded registry store, for tests and RuzIde's own tools. Applications
// use only the ten registry functions of platform/WinReg.h.
#ifndef RUZIDE_PLATFORM_REGISTRY_REGISTRYSTORE_H_
#define RUZIDE_PLATFORM_REGISTRY_REGISTRYSTORE_H_

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace ruzide::registry {

// Closes every open store database, forgets every cache, ends every key watch (signalling
// its events) and frees every key handle, so that the next registry call reads
// RUZIDE_REGISTRY and RUZIDE_REGISTRY_READONLY afresh.
// Handles obtained before are invalid afterwards (ERROR_INVALID_HANDLE). No other thread
// may be calling the registry functions meanwhile.
void CloseAllStores();

// The database file that holds `root` (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE) under
// the environment as it is now; empty for any other handle.
std::string StoreDatabasePath(HKEY root);

// The run-time folder that holds `root`'s volatile keys while the machine runs, under the
// environment as it is now; empty while its database file does not exist. Removing it
// while no process uses the store is what a restart of the machine does to the store.
std::string StoreRunTimeFolder(HKEY root);

// The first entry of RUZIDE_REGISTRY_READONLY that names no root, or empty when every
// entry names one. The store itself ignores such an entry; a tool should not, since a
// misspelt root would leave writable a root the user meant to protect.
std::string UnknownReadOnlyRoot();

// How long a registry call may wait for other processes in all, from its start, before it
// fails with ERROR_LOCK_VIOLATION: a minute unless a test sets it shorter.
void SetStoreWaitLimit(int64_t nanos);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_REGISTRYSTORE_H_
