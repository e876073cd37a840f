#include "platform/registry/RegistryStore.h"

#include <pthread.h>
#include <sys/stat.h>

#include "platform/registry/KeyHandles.h"
#include "platform/registry/Store.h"
#include "platform/registry/Watchers.h"

namespace ruzide::registry {

namespace {

Store* const* Stores() {
  // Never destroyed, so that registry calls made while the process exits still work.
  static Store* const stores[kRootCount] = {new Store(kCurrentUser), new Store(kLocalMachine)};
  return stores;
}

// An SQLite connection must not be used in a child of fork(), nor closed there, so the
// stores close their databases before the process forks; parent and child each reopen
// them on their next call. Handles survive, as they name keys by id.
void BeforeFork() {
  LockWatches();
  for (int root = 0; root < kRootCount; ++root) Stores()[root]->LockAndClose();
  LockKeyHandles();
}

void AfterFork() {
  UnlockKeyHandles();
  for (int root = kRootCount - 1; root >= 0; --root) Stores()[root]->Unlock();
}

void AfterForkInParent() {
  AfterFork();
  UnlockWatches();
}

// Watches and their threads stay with the parent.
void AfterForkInChild() {
  AfterFork();
  ForgetWatchesInChild();
}

}  // namespace

Store& StoreFor(int root) {
  static const bool registered =
      pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild) == 0;
  (void)registered;
  return *Stores()[root];
}

void CloseAllStores() {
  EndAllWatches();
  for (int root = 0; root < kRootCount; ++root) Stores()[root]->Close();
  CloseAllKeyHandles();
}

std::string StoreDatabasePath(HKEY root) {
  int index = RootIndexOf(root);
  return index < 0 ? std::string() : LocateStore(index).database;
}

std::string StoreRunTimeFolder(HKEY root) {
  int index = RootIndexOf(root);
  if (index < 0) return std::string();
  StoreLocation location = LocateStore(index);
  struct stat file;
  if (stat(location.database.c_str(), &file) != 0) return std::string();
  return RunTimeLocation(location, file.st_dev, file.st_ino).folder;
}

std::string UnknownReadOnlyRoot() {
  for (const std::string& entry : ReadOnlyListEntries()) {
    if (RootNamedBy(entry) < 0) return entry;
  }
  return std::string();
}

}  // namespace ruzide::registry
