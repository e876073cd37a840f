// The key watches of this process (RegNotifyChangeKeyValue), and the threads that serve
// them.
//
// A watch belongs to a key handle: each call adds an event to its handle's watch, and
// the first change that matches signals all of them and empties the list, leaving the
// watch idle until the next call. Closing the handle signals what is left and ends the
// watch. While a root has watches, one thread of this process sleeps on the root's
// change log (ChangeLog.h) and matches what each commit changed; it takes no CPU while
// nothing changes, and stops when the root's last watch ends.
#ifndef RUZIDE_PLATFORM_REGISTRY_WATCHERS_H_
#define RUZIDE_PLATFORM_REGISTRY_WATCHERS_H_

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace ruzide::registry {

struct WatchRequest {
  HKEY handle;
  int64_t key;
  bool subtree;
  DWORD filter;
  HANDLE event;
};

// Adds `request` for the root with index `root`, whose change log lies in `shared_file`.
void AddWatch(int root, const std::string& shared_file, const WatchRequest& request);
// Signals the events of `handle`'s watch, if it has one, and ends it.
void EndWatch(HKEY handle);
// Ends every watch, signalling their events, and stops the threads.
void EndAllWatches();

// Around fork(): the child has none of the parent's watches or threads.
void LockWatches();
void UnlockWatches();
void ForgetWatchesInChild();

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_WATCHERS_H_
