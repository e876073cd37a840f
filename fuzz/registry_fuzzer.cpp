// Drives the embedded store's registry functions with a stream of operations read from the
// input (create, open, close, set, query, delete, enumerate, reopen), on a few keys and
// names that differ only in case, and checks every result against an in-memory model of
// the registry: any divergence aborts. Each input starts on an empty store.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinReg.h"
#include "platform/registry/RegistryStore.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "registry and model differ: %s\n", what);
  abort();
}

std::string Fold(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return folded;
}

struct Value {
  std::string name;  // as first created
  DWORD type;
  std::string data;
};

struct Key {
  std::string name;  // as first created
  int id;
  std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name: enumeration order
  std::map<std::string, Value> values;                  // by folded name
};

// The input, read a byte at a time; zeros once it is used up.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  int Byte() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

const char* const kKeyNames[] = {"a", "A", "b", "Bc", "bC"};
const char* const kValueNames[] = {"", "x", "X", "y", "Long name of a value"};
const DWORD kTypes[] = {REG_SZ, REG_DWORD, REG_BINARY, REG_MULTI_SZ};
constexpr int kSlots = 4;

class Session {
 public:
  Session() { root_.id = next_id_++; }

  void Run(Input& in) {
    Check(RegCreateKeyExA(HKEY_CURRENT_USER, "F", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &slots_[0].handle, nullptr) == ERROR_SUCCESS,
          "create the base key");
    slots_[0].key = &root_;
    slots_[0].id = root_.id;
    for (int ops = 0; in.More() && ops < 64; ++ops) Step(in);
    for (Slot& slot : slots_) Close(slot);
  }

 private:
  struct Slot {
    HKEY handle = nullptr;
    Key* key = nullptr;  // what the handle names, unless deleted since (see Alive)
    int id = 0;
  };

  bool Alive(const Slot& slot) { return Find(&root_, slot.id) == slot.key; }
  static Key* Find(Key* key, int id) {
    if (key->id == id) return key;
    for (auto& [folded, child] : key->subkeys) {
      if (Key* found = Find(child.get(), id)) return found;
    }
    return nullptr;
  }

  void Close(Slot& slot) {
    if (slot.handle != nullptr) Check(RegCloseKey(slot.handle) == ERROR_SUCCESS, "close");
    slot = Slot();
  }

  // A path of one or two key names.
  std::vector<std::string> Path(Input& in) {
    int b = in.Byte();
    std::vector<std::string> names = {kKeyNames[b % 5]};
    if (b & 0x80) names.push_back(kKeyNames[(b >> 3) % 5]);
    return names;
  }
  static std::string Joined(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) path += (path.empty() ? "" : "\\") + name;
    return path;
  }

  // A slot with an open handle, or null.
  Slot* Handle(Input& in) {
    Slot& slot = slots_[in.Byte() % kSlots];
    return slot.handle != nullptr ? &slot : nullptr;
  }

  void OpenOrCreate(Input& in, bool create) {
    Slot* from = Handle(in);
    Slot& to = slots_[1 + in.Byte() % (kSlots - 1)];
    std::vector<std::string> names = Path(in);
    if (from == nullptr || from == &to) return;
    HKEY handle = nullptr;
    DWORD disposition = 0;
    LONG status =
        create ? RegCreateKeyExA(from->handle, Joined(names).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &handle, &disposition)
               : RegOpenKeyExA(from->handle, Joined(names).c_str(), 0, KEY_ALL_ACCESS, &handle);
    if (!Alive(*from)) {
      Check(status == ERROR_KEY_DELETED, "open or create under a deleted key");
      return;
    }
    Key* key = from->key;
    bool created = false;
    for (const std::string& name : names) {
      auto& child = key->subkeys[Fold(name)];
      if (child == nullptr) {
        if (!create) {
          key->subkeys.erase(Fold(name));
          Check(status == ERROR_FILE_NOT_FOUND, "open a missing key");
          return;
        }
        child.reset(new Key{name, next_id_++, {}, {}});
        created = true;
      }
      key = child.get();
    }
    Check(status == ERROR_SUCCESS, "open or create");
    if (create)
      Check(disposition == (created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY),
            "disposition");
    Close(to);
    to.handle = handle;
    to.key = key;
    to.id = key->id;
  }

  void SetValue(Input& in) {
    Slot* slot = Handle(in);
    const char* name = kValueNames[in.Byte() % 5];
    DWORD type = kTypes[in.Byte() % 4];
    std::string data(in.Byte() % 9, '\0');
    for (char& c : data) c = static_cast<char>(in.Byte());
    if (slot == nullptr) return;
    LONG status =
        RegSetValueExA(slot->handle, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    if (!Alive(*slot)) return Check(status == ERROR_KEY_DELETED, "set in a deleted key");
    Check(status == ERROR_SUCCESS, "set");
    auto found = slot->key->values.find(Fold(name));
    std::string kept = found != slot->key->values.end() ? found->second.name : name;
    slot->key->values[Fold(name)] = Value{kept, type, data};
  }

  void QueryValue(Input& in) {
    Slot* slot = Handle(in);
    const char* name = kValueNames[in.Byte() % 5];
    if (slot == nullptr) return;
    DWORD type = 0, size = 64;
    BYTE data[64];
    LONG status = RegQueryValueExA(slot->handle, name, nullptr, &type, data, &size);
    if (!Alive(*slot)) return Check(status == ERROR_KEY_DELETED, "query in a deleted key");
    auto found = slot->key->values.find(Fold(name));
    if (found == slot->key->values.end()) return Check(status == ERROR_FILE_NOT_FOUND, "query");
    Check(status == ERROR_SUCCESS && type == found->second.type &&
              std::string(reinterpret_cast<char*>(data), size) == found->second.data,
          "query's data");
  }

  void DeleteValue(Input& in) {
    Slot* slot = Handle(in);
    const char* name = kValueNames[in.Byte() % 5];
    if (slot == nullptr) return;
    LONG status = RegDeleteValueA(slot->handle, name);
    if (!Alive(*slot)) return Check(status == ERROR_KEY_DELETED, "delete in a deleted key");
    bool there = slot->key->values.erase(Fold(name)) > 0;
    Check(status == (there ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND), "delete a value");
  }

  void DeleteKey(Input& in) {
    Slot* slot = Handle(in);
    const char* name = kKeyNames[in.Byte() % 5];
    if (slot == nullptr) return;
    LONG status = RegDeleteKeyA(slot->handle, name);
    if (!Alive(*slot)) return Check(status == ERROR_KEY_DELETED, "delete under a deleted key");
    auto found = slot->key->subkeys.find(Fold(name));
    if (found == slot->key->subkeys.end()) {
      return Check(status == ERROR_FILE_NOT_FOUND, "delete a missing key");
    }
    if (!found->second->subkeys.empty()) {
      return Check(status == ERROR_ACCESS_DENIED, "delete a key with subkeys");
    }
    Check(status == ERROR_SUCCESS, "delete a key");
    slot->key->subkeys.erase(found);
  }

  // Subkeys in the model's order, that of the upper-cased names; values as a set, by name.
  void Enumerate(Input& in) {
    Slot* slot = Handle(in);
    if (slot == nullptr) return;
    char name[64];
    DWORD size = sizeof name;
    if (!Alive(*slot)) {
      Check(RegEnumKeyExA(slot->handle, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                ERROR_KEY_DELETED,
            "enumerate a deleted key");
      return;
    }
    DWORD index = 0;
    for (auto& [folded, child] : slot->key->subkeys) {
      size = sizeof name;
      Check(RegEnumKeyExA(slot->handle, index++, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS &&
                child->name == std::string(name, size),
            "subkey enumeration");
    }
    size = sizeof name;
    Check(RegEnumKeyExA(slot->handle, index, name, &size, nullptr, nullptr, nullptr, nullptr) ==
              ERROR_NO_MORE_ITEMS,
          "end of the subkeys");
    std::map<std::string, Value> seen;
    for (index = 0;; ++index) {
      BYTE data[64];
      DWORD type = 0, data_size = sizeof data;
      size = sizeof name;
      LONG status =
          RegEnumValueA(slot->handle, index, name, &size, nullptr, &type, data, &data_size);
      if (status == ERROR_NO_MORE_ITEMS) break;
      Check(status == ERROR_SUCCESS, "value enumeration");
      seen[Fold(std::string(name, size))] = Value{
          std::string(name, size), type, std::string(reinterpret_cast<char*>(data), data_size)};
    }
    Check(seen.size() == slot->key->values.size(), "number of values");
    for (auto& [folded, value] : slot->key->values) {
      const Value& v = seen[folded];
      Check(v.name == value.name && v.type == value.type && v.data == value.data,
            "enumerated value");
    }
    DWORD subkeys = 0, values = 0;
    Check(RegQueryInfoKeyA(slot->handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
              subkeys == slot->key->subkeys.size() && values == slot->key->values.size(),
          "counts");
  }

  // As a new process would: every handle goes, the registry stays.
  void Reopen() {
    ruzide::registry::CloseAllStores();
    for (Slot& slot : slots_) slot = Slot();
    Check(RegOpenKeyExA(HKEY_CURRENT_USER, "F", 0, KEY_ALL_ACCESS, &slots_[0].handle) ==
              ERROR_SUCCESS,
          "reopen the base key");
    slots_[0].key = &root_;
    slots_[0].id = root_.id;
  }

  void Step(Input& in) {
    switch (in.Byte() % 9) {
      case 0:
        return OpenOrCreate(in, true);
      case 1:
        return OpenOrCreate(in, false);
      case 2:
        return Close(slots_[1 + in.Byte() % (kSlots - 1)]);
      case 3:
        return SetValue(in);
      case 4:
        return QueryValue(in);
      case 5:
        return DeleteValue(in);
      case 6:
        return DeleteKey(in);
      case 7:
        return Enumerate(in);
      default:
        return Reopen();
    }
  }

  Key root_;
  int next_id_ = 1;
  Slot slots_[kSlots];
};

// One store folder for the whole run, emptied before each input; in memory where it can
// be, since each input creates a database.
const std::string& Folder() {
  static const std::string* const folder = [] {
    char pattern[] = "/dev/shm/ruzide-fuzz-XXXXXX";
    char fallback[] = "/tmp/ruzide-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) made = mkdtemp(fallback);
    if (made == nullptr) abort();
    setenv("RUZIDE_REGISTRY", made, 1);
    unsetenv("RUZIDE_REGISTRY_READONLY");
    return new std::string(made);  // never destroyed: RemoveStore runs at exit
  }();
  return *folder;
}

const char* const kFiles[] = {"HKEY_CURRENT_USER.db", "HKEY_CURRENT_USER.db-wal",
                              "HKEY_CURRENT_USER.db-shm", "HKEY_CURRENT_USER.gen"};

void EmptyStore() {
  ruzide::registry::CloseAllStores();
  for (const char* file : kFiles) unlink((Folder() + "/" + file).c_str());
}

void RemoveStore() {
  EmptyStore();
  rmdir(Folder().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool cleaned_up_at_exit = atexit(RemoveStore) == 0;
  (void)cleaned_up_at_exit;
  EmptyStore();
  Input in(data, size);
  Session().Run(in);
  return 0;
}
