#include "platform/registry/Virtualization.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/registry/NameFold.h"
#include "platform/registry/Watchers.h"

namespace ruzide::registry {

namespace {

constexpr KeyRef kRoot{kRootKey, 0};

// Where the user root keeps its copy of HKEY_LOCAL_MACHINE\Software.
constexpr const char* kCopyPrefix[] = {"Software", "Classes", "VirtualStore", "MACHINE",
                                       "SOFTWARE"};

KeyNames MachineNames(const MachinePath& path) { return KeyNames(path.begin(), path.end()); }

// The copy's names: the prefix in place of "Software", then the rest of the path.
KeyNames CopyNames(const MachinePath& path) {
  KeyNames names(std::begin(kCopyPrefix), std::end(kCopyPrefix));
  names.insert(names.end(), path.begin() + 1, path.end());
  return names;
}

// Opens one side's key for reading: ERROR_FILE_NOT_FOUND if that side lacks it.
LONG OpenSide(int root, const KeyNames& names, KeyRef* key) {
  return StoreFor(root).OpenKey(kRoot, names, false, key);
}

// Both sides' keys; *found_* tells which exist. Fails only for an error other than a
// missing key.
struct Sides {
  KeyRef machine{0, 0}, copy{0, 0};
  bool in_machine = false, in_copy = false;
};

LONG OpenSides(const MachinePath& path, Sides* sides) {
  LONG status = OpenSide(kLocalMachine, MachineNames(path), &sides->machine);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
  sides->in_machine = status == ERROR_SUCCESS;
  status = OpenSide(kCurrentUser, CopyNames(path), &sides->copy);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
  sides->in_copy = status == ERROR_SUCCESS;
  return sides->in_machine || sides->in_copy ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

SubkeyList MergeSubkeys(const SubkeyList& machine, const SubkeyList& copy) {
  if (copy == nullptr || copy->empty()) return machine;
  if (machine == nullptr || machine->empty()) return copy;
  // Both are in the order of their folded names.
  std::vector<SubkeyEntry> merged;
  auto m = machine->begin(), c = copy->begin();
  while (m != machine->end() || c != copy->end()) {
    int order = m == machine->end() ? 1
                : c == copy->end()  ? -1
                                    : FoldName(m->name).compare(FoldName(c->name));
    if (order <= 0) {
      merged.push_back(*m);
      if (order == 0) ++c;
      ++m;
    } else {
      merged.push_back(*c++);
    }
  }
  return std::make_shared<const std::vector<SubkeyEntry>>(std::move(merged));
}

ValueList MergeValues(const ValueList& machine, const ValueList& copy) {
  if (copy == nullptr || copy->empty()) return machine;
  if (machine == nullptr || machine->empty()) return copy;
  std::unordered_map<std::string, size_t> in_copy;
  for (size_t i = 0; i < copy->size(); ++i) in_copy.emplace(FoldName((*copy)[i].name), i);
  std::vector<ValueEntry> merged;
  std::vector<bool> placed(copy->size(), false);
  for (const ValueEntry& entry : *machine) {
    auto own = in_copy.find(FoldName(entry.name));
    if (own == in_copy.end()) {
      merged.push_back(entry);
    } else {
      merged.push_back((*copy)[own->second]);
      placed[own->second] = true;
    }
  }
  for (size_t i = 0; i < copy->size(); ++i) {
    if (!placed[i]) merged.push_back((*copy)[i]);
  }
  return std::make_shared<const std::vector<ValueEntry>>(std::move(merged));
}

// The nearest key at or above `names` that exists in `root`, and whether it is above.
KeyRef NearestKey(int root, KeyNames names, bool* above) {
  *above = false;
  for (;;) {
    KeyRef key;
    if (names.empty()) return kRoot;
    if (OpenSide(root, names, &key) == ERROR_SUCCESS) return key;
    names.pop_back();
    *above = true;
  }
}

}  // namespace

bool UnderSoftware(const MachinePath& path) {
  return !path.empty() && FoldName(path[0]) == "SOFTWARE";
}

bool Virtualizing() {
  const char* setting = std::getenv("RUZIDE_VIRTUALIZATION");
  if (setting != nullptr && std::strcmp(setting, "0") == 0) return false;
  bool writable = true;
  return StoreFor(kLocalMachine).MayWrite(&writable) == ERROR_SUCCESS && !writable;
}

LONG VirtualOpen(const MachinePath& path, bool create, std::string_view key_class, bool* created) {
  *created = false;
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_FILE_NOT_FOUND || !create) return status;
  KeyRef key;
  return StoreFor(kCurrentUser)
      .CreateKey(kRoot, CopyNames(path), key_class, false, true, &key, created);
}

LONG VirtualQueryValue(const MachinePath& path, std::string_view name, StoredValue* value) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  if (sides.in_copy) {
    status = StoreFor(kCurrentUser).QueryValue(sides.copy, name, value);
    if (status != ERROR_FILE_NOT_FOUND || !sides.in_machine) return status;
  }
  return StoreFor(kLocalMachine).QueryValue(sides.machine, name, value);
}

LONG VirtualSetValue(const MachinePath& path, std::string_view name, DWORD type, const BYTE* data,
                     DWORD size) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  KeyRef copy = sides.copy;
  bool created = false;
  if (!sides.in_copy) {
    status =
        StoreFor(kCurrentUser).CreateKey(kRoot, CopyNames(path), "", false, true, &copy, &created);
    if (status != ERROR_SUCCESS) return status;
  }
  return StoreFor(kCurrentUser).SetValue(copy, name, type, data, size);
}

LONG VirtualDeleteValue(const MachinePath& path, std::string_view name) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  if (sides.in_copy) {
    status = StoreFor(kCurrentUser).DeleteValue(sides.copy, name);
    if (status != ERROR_FILE_NOT_FOUND) return status;
  }
  StoredValue value;
  if (sides.in_machine &&
      StoreFor(kLocalMachine).QueryValue(sides.machine, name, &value) == ERROR_SUCCESS) {
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG VirtualDeleteKey(const MachinePath& path) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  if (!sides.in_copy) return ERROR_ACCESS_DENIED;
  return StoreFor(kCurrentUser).DeleteKey(sides.copy, {});
}

LONG VirtualListSubkeys(const MachinePath& path, SubkeyList* list) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  SubkeyList machine, copy;
  if (sides.in_machine) status = StoreFor(kLocalMachine).ListSubkeys(sides.machine, &machine);
  if (status == ERROR_SUCCESS && sides.in_copy) {
    status = StoreFor(kCurrentUser).ListSubkeys(sides.copy, &copy);
  }
  if (status == ERROR_SUCCESS) *list = MergeSubkeys(machine, copy);
  return status;
}

LONG VirtualListValues(const MachinePath& path, ValueList* list) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  ValueList machine, copy;
  if (sides.in_machine) status = StoreFor(kLocalMachine).ListValues(sides.machine, &machine);
  if (status == ERROR_SUCCESS && sides.in_copy) {
    status = StoreFor(kCurrentUser).ListValues(sides.copy, &copy);
  }
  if (status == ERROR_SUCCESS) *list = MergeValues(machine, copy);
  return status;
}

LONG VirtualSummarize(const MachinePath& path, KeySummary* summary) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  KeySummary machine{nullptr, nullptr, 0, {}}, copy{nullptr, nullptr, 0, {}};
  if (sides.in_machine) status = StoreFor(kLocalMachine).Summarize(sides.machine, &machine);
  if (status == ERROR_SUCCESS && sides.in_copy) {
    status = StoreFor(kCurrentUser).Summarize(sides.copy, &copy);
  }
  if (status != ERROR_SUCCESS) return status;
  summary->subkeys = MergeSubkeys(machine.subkeys, copy.subkeys);
  summary->values = MergeValues(machine.values, copy.values);
  summary->last_write = std::max(machine.last_write, copy.last_write);
  summary->key_class = sides.in_machine ? machine.key_class : copy.key_class;
  return ERROR_SUCCESS;
}

LONG VirtualWatch(const MachinePath& path, HKEY handle, bool subtree, DWORD filter, HANDLE event) {
  Sides sides;
  LONG status = OpenSides(path, &sides);
  if (status != ERROR_SUCCESS) return status;
  const KeyNames sides_names[kRootCount] = {CopyNames(path), MachineNames(path)};
  for (int root : {kLocalMachine, kCurrentUser}) {
    bool above = false;
    KeyRef key = NearestKey(root, sides_names[root], &above);
    std::string shared_file;
    status = StoreFor(root).Watch(key, &shared_file);
    if (status != ERROR_SUCCESS) return status;
    AddWatch(
        root, shared_file,
        WatchRequest{handle, key.id, subtree || above,
                     static_cast<DWORD>(above ? filter | REG_NOTIFY_CHANGE_NAME : filter), event});
  }
  return ERROR_SUCCESS;
}

}  // namespace ruzide::registry
