#include "RegKey.h"

#include <algorithm>

namespace ruzide {
namespace tool {

namespace {

// Key names are at most 255 characters; room for double-byte ones on Windows.
constexpr DWORD kMaxKeyNameBytes = 512;
// Value names are at most 16,383 characters.
constexpr size_t kMaxValueNameBytes = 2 * 16384;

BYTE* Bytes(std::string& buffer) { return reinterpret_cast<BYTE*>(&buffer[0]); }

// The view of UseRegistryView: a command's keys all lie in one.
REGSAM g_view = 0;

}  // namespace

RegKey::~RegKey() { Close(); }

void RegKey::Close() {
  // A root opens as its own predefined handle, which stays open; closing it would also
  // end a watch that `reg watch` keeps through it.
  if (key_ != nullptr && key_ != HKEY_CURRENT_USER && key_ != HKEY_LOCAL_MACHINE) {
    RegCloseKey(key_);
  }
  key_ = nullptr;
}

void UseRegistryView(REGSAM view) { g_view = view; }

LONG RegKey::Open(const RegPath& path, REGSAM access) {
  Close();
  return RegOpenKeyExA(path.root, path.sub.c_str(), 0, access | g_view, &key_);
}

LONG RegKey::Create(const RegPath& path) {
  Close();
  return RegCreateKeyExA(path.root, path.sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_READ | KEY_WRITE | g_view, nullptr, &key_, nullptr);
}

LONG RegKey::Watch(bool subtree, HANDLE event) const {
  return RegNotifyChangeKeyValue(key_, subtree ? TRUE : FALSE,
                                 REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
}

LONG RegKey::Values(std::vector<RegValue>* values) const {
  values->clear();
  return EachValue([values](const RegValue& value) {
    values->push_back(value);
    return ERROR_SUCCESS;
  });
}

LONG RegKey::EachValue(const std::function<LONG(const RegValue& value)>& visit) const {
  DWORD max_name = 0, max_data = 0;
  LONG status = RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &max_name, &max_data, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  std::string name(max_name + 1, '\0');
  std::string data(std::max<DWORD>(max_data, 1), '\0');
  for (DWORD index = 0;;) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    status =
        RegEnumValueA(key_, index, &name[0], &name_size, nullptr, &type, Bytes(data), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA) {
      // The key changed since its sizes were asked for (or the system counted characters
      // where bytes were needed): grow what was short and read the same value again.
      if (data_size > data.size()) {
        data.resize(data_size);
      } else if (name.size() < kMaxValueNameBytes) {
        name.resize(name.size() * 2);
      } else {
        return status;
      }
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    status = visit(RegValue{name.substr(0, name_size), type, data.substr(0, data_size)});
    if (status != ERROR_SUCCESS) return status;
    ++index;
  }
}

LONG RegKey::Subkeys(std::vector<std::string>* names) const {
  names->clear();
  char name[kMaxKeyNameBytes];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    const LONG status = RegEnumKeyExA(key_, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    names->emplace_back(name, size);
  }
}

LONG RegKey::Query(const std::string& name, RegValue* value) const {
  DWORD size = 0;
  LONG status = RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr, &size);
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    // Asked again with room for what was reported; another process may have grown it.
    std::string data(std::max<DWORD>(size, 1), '\0');
    DWORD type = REG_NONE;
    size = static_cast<DWORD>(data.size());
    status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, Bytes(data), &size);
    if (status == ERROR_SUCCESS) {
      *value = RegValue{name, type, data.substr(0, size)};
      return status;
    }
  }
  return status;
}

LONG RegKey::Set(const RegValue& value) const {
  // Windows, given string data that does not end in a zero, looks at the byte after the
  // data and stores a zero it finds there as part of the value. The byte after the data
  // of a std::string is its zero, so the data goes in a copy followed by a non-zero byte:
  // the value is stored with exactly the bytes it was given.
  std::string data = value.data;
  data.push_back('\xff');
  return RegSetValueExA(key_, value.name.c_str(), 0, value.type,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(value.data.size()));
}

LONG RegKey::DeleteValue(const std::string& name) const {
  return RegDeleteValueA(key_, name.c_str());
}

LONG DeleteTree(const RegPath& path, RegPath* failed) {
  std::vector<std::string> subkeys;
  {
    RegKey key;
    LONG status = key.Open(path, KEY_READ);
    if (status == ERROR_SUCCESS) status = key.Subkeys(&subkeys);
    if (status != ERROR_SUCCESS) {
      *failed = path;
      return status;
    }
  }
  for (const std::string& name : subkeys) {
    const LONG status = DeleteTree(path.Child(name), failed);
    if (status != ERROR_SUCCESS) return status;
  }
#ifdef _WIN32
  // Only the Ex form takes a view: RegDeleteKeyA deletes in the program's own.
  const LONG status = g_view == 0 ? RegDeleteKeyA(path.root, path.sub.c_str())
                                  : RegDeleteKeyExA(path.root, path.sub.c_str(), g_view, 0);
#else
  const LONG status = RegDeleteKeyA(path.root, path.sub.c_str());
#endif
  if (status != ERROR_SUCCESS) *failed = path;
  return status;
}

std::string ErrorText(LONG code) {
  static const struct {
    LONG code;
    const char* text;
  } kTexts[] = {
      {ERROR_FILE_NOT_FOUND, "not found"},
      {ERROR_PATH_NOT_FOUND, "the store's folder cannot be reached (a part of its path is a file)"},
      {ERROR_ACCESS_DENIED, "access denied"},
      {ERROR_INVALID_HANDLE, "invalid handle"},
      {ERROR_NOT_ENOUGH_MEMORY, "out of memory"},
      {ERROR_OUTOFMEMORY, "out of memory"},
      {ERROR_LOCK_VIOLATION, "the store stayed locked by another process"},
      {ERROR_INVALID_PARAMETER, "invalid parameter (a name too long, or a key too deep)"},
      {ERROR_BAD_PATHNAME, "bad path name"},
      {ERROR_FILENAME_EXCED_RANGE, "value name or the store's path too long"},
      {ERROR_MORE_DATA, "more data than expected"},
      {ERROR_BADDB, "the registry database is damaged or not a store"},
      {ERROR_REGISTRY_IO_FAILED,
       "reading or writing the registry database failed (disk full, I/O error, or not a file)"},
      {ERROR_KEY_DELETED, "the key was deleted"},
  };
  for (const auto& t : kTexts) {
    if (t.code != code) continue;
    std::string text = std::string(t.text) + " (" + std::to_string(code) + ")";
    // The way out, wherever a damaged root is met.
    if (code == ERROR_BADDB)
      text += "; 'ruzide store check' says why, 'ruzide store restore' puts a backup back";
    return text;
  }
  return "error " + std::to_string(code);
}

LONG ReadTree(const RegPath& path, bool recursive, std::vector<KeyContents>* keys,
              RegPath* failed) {
  KeyContents contents{path, {}, {}};
  RegKey key;
  LONG status = key.Open(path, KEY_READ);
  if (status == ERROR_SUCCESS) status = key.Values(&contents.values);
  if (status == ERROR_SUCCESS) status = key.Subkeys(&contents.subkeys);
  if (status != ERROR_SUCCESS) {
    *failed = path;
    return status;
  }
  keys->push_back(contents);
  if (!recursive) return ERROR_SUCCESS;
  for (const std::string& name : contents.subkeys) {
    status = ReadTree(path.Child(name), true, keys, failed);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace tool
}  // namespace ruzide
