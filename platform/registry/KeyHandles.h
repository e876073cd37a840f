// The table of open key handles.
//
// An HKEY that RegOpenKeyExA or RegCreateKeyExA returns names an entry of this table;
// RegCloseKey frees it. The predefined roots are not in the table: they are always open,
// with every access right. Every call looks its handle up here, so a closed or made-up
// handle yields ERROR_INVALID_HANDLE rather than a stray memory access.
#ifndef RUZIDE_PLATFORM_REGISTRY_KEYHANDLES_H_
#define RUZIDE_PLATFORM_REGISTRY_KEYHANDLES_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/registry/Store.h"

namespace ruzide::registry {

// What a handle refers to.
struct HandleTarget {
  int root;  // StoreLocation.h's RootIndex
  KeyRef key;
  REGSAM access;  // granted rights, generic rights already mapped
  bool predefined;
  // For a key of HKEY_LOCAL_MACHINE\Software, the names that lead to it from the root,
  // as given; null for any other key. Shared, as copies of the target are made often.
  std::shared_ptr<const std::vector<std::string>> machine_path = nullptr;
  // Whether the handle sees the machine key through the user's virtual copy
  // (Virtualization.h); then `key` means nothing and the path names the key.
  bool virtualized = false;
};

// Returns a new handle to `target`.
HKEY NewKeyHandle(const HandleTarget& target);

// Copies out what `handle` refers to; false for a handle that is not open.
bool FindKeyHandle(HKEY handle, HandleTarget* target);

// Frees `handle`; false if it was not open.
bool CloseKeyHandle(HKEY handle);

// Frees every handle.
void CloseAllKeyHandles();

// Held across fork() so that the child does not inherit a locked table.
void LockKeyHandles();
void UnlockKeyHandles();

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_KEYHANDLES_H_
