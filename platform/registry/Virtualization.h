// Registry virtualization: how a process that may not write the machine root still uses
// HKEY_LOCAL_MACHINE\Software as programs expect.
//
// For such a process, an open or create below HKEY_LOCAL_MACHINE\Software that asks for
// a right to change the key yields a virtualized handle, and so does any open through
// one. Through it, reads see the machine's key overlaid by the user's own copy of it,
// kept in the user root under Software\Classes\VirtualStore\MACHINE\SOFTWARE\<rest of the
// path>; writes create that copy, and the keys above it, as needed and change only it;
// deletions remove only what the copy holds. The machine root itself and keys outside
// Software are never virtualized, nor is anything for a process that may write the
// machine root, or when RUZIDE_VIRTUALIZATION is "0".
//
// A virtualized handle names its key by path, not by id: each call looks both sides up
// again, so the key may appear on either side after the handle was opened.
#ifndef RUZIDE_PLATFORM_REGISTRY_VIRTUALIZATION_H_
#define RUZIDE_PLATFORM_REGISTRY_VIRTUALIZATION_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/registry/Store.h"

namespace ruzide::registry {

// The names that lead from HKEY_LOCAL_MACHINE to a key.
using MachinePath = std::vector<std::string>;

// Whether `path` is HKEY_LOCAL_MACHINE\Software or below it (ASCII letters in any case).
bool UnderSoftware(const MachinePath& path);

// Whether this process sees HKEY_LOCAL_MACHINE\Software through virtual copies: it may
// not write the machine root and RUZIDE_VIRTUALIZATION is not "0". False, so that the
// store's own error shows, when the machine root cannot be opened.
bool Virtualizing();

// Opens the virtualized key at `path`: ERROR_FILE_NOT_FOUND unless either side has it.
// With `create`, a key that neither side has is created in the copy, and *created set.
LONG VirtualOpen(const MachinePath& path, bool create, std::string_view key_class, bool* created);

// The copy's value if it has one, else the machine's.
LONG VirtualQueryValue(const MachinePath& path, std::string_view name, StoredValue* value);
// Sets the value in the copy, creating the copy's key as needed.
LONG VirtualSetValue(const MachinePath& path, std::string_view name, DWORD type, const BYTE* data,
                     DWORD size);
// Deletes the copy's value; ERROR_ACCESS_DENIED for one that only the machine has.
LONG VirtualDeleteValue(const MachinePath& path, std::string_view name);
// Deletes the copy's key (which must have no subkeys of its own); ERROR_ACCESS_DENIED for
// one that only the machine has. The machine's key, if any, remains visible.
LONG VirtualDeleteKey(const MachinePath& path);

// Subkeys of both sides in the registry's order, each name once (the machine's entry
// where both have it). Values: the machine's in their order, each replaced in its place
// by the copy's value of that name, then the copy's other values in their order.
LONG VirtualListSubkeys(const MachinePath& path, SubkeyList* list);
LONG VirtualListValues(const MachinePath& path, ValueList* list);
// Both lists as above; the later of the two last-write times; the machine key's class,
// else the copy's.
LONG VirtualSummarize(const MachinePath& path, KeySummary* summary);

// Watches both sides for `handle` (RegNotifyChangeKeyValue): the machine's key and the
// copy, or for a side without the key its nearest existing key above, with its subtree,
// so that the key's creation there is seen too. A change on either side signals `event`.
LONG VirtualWatch(const MachinePath& path, HKEY handle, bool subtree, DWORD filter, HANDLE event);

}  // namespace ruzide::registry

#endif  // RUZIDE_PLATFORM_REGISTRY_VIRTUALIZATION_H_
