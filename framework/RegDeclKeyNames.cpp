// CRegDeclKey: listing the names of a registry key's subkeys or values of one type.
#include <string>
#include <unordered_set>

#include "framework/KeyInternal.h"
#include "framework/RegDeclHive.h"
#include "framework/RegDeclKey.h"
#include "framework/registry_calls/RegistryCalls.h"

namespace {

// The map whose children's names a listing of `type` starts with; null for a type code
// that has none.
CMapStringToPtr* MapForType(CRegDeclKey& key, int type) {
  switch (type) {
    case 0:
      return &key.m_mapKeys;
    case REG_SZ:
      return &key.m_mapStrings;
    case REG_BINARY:
      return &key.m_mapBinaries;
    case REG_DWORD:
      return &key.m_mapInts;
    default:
      return nullptr;
  }
}

// The names a list holds, for exact-case "already listed" tests that do not rescan the
// list for every registry name.
class ListedNames {
 public:
  // Tracks nothing when `enabled` is false: without children nothing is compared.
  ListedNames(const CStringList& list, bool enabled) {
    if (!enabled) return;
    for (POSITION pos = list.GetHeadPosition(); pos;) names_.insert(list.GetNext(pos).GetString());
  }
  // True when `name` was not listed yet; it counts as listed afterwards.
  bool Add(const char* name) { return names_.insert(name).second; }

 private:
  std::unordered_set<std::string> names_;
};

}  // namespace

int CRegDeclKey::ReadNames(const char* path, CStringList& list, int type, int withChildren) {
  CRegDeclHive& hive = GetHive();
  if (!hive.m_hRootKey) return 0;

  // Null path: the key's own path with a trailing backslash (empty for the hive).
  CString where;
  if (path) {
    where = path;
  } else {
    if (!m_strFullPath.IsEmpty()) where = m_strFullPath + '\\';
    if (!m_strName.IsEmpty()) where += m_strName + '\\';
  }

  if (withChildren) {
    CMapStringToPtr* map = MapForType(*this, type);
    if (!map) return 0;
    CString name;
    void* node = nullptr;
    for (POSITION pos = map->GetStartPosition(); pos;) {
      map->GetNextAssoc(pos, name, node);
      list.AddTail(name);
    }
  }

  if (!hive.OpenKey(hive.m_hRootKey, where)) return 0;
  ListedNames listed(list, withChildren != 0);
  char name[ruzide::store::kNameBufferSize];
  for (DWORD index = 0;; ++index) {
    if (type == 0) {
      if (ruzide::store::EnumKey(hive.m_hOpenKey, index, name) != ERROR_SUCCESS) break;
    } else {
      DWORD value_type = 0;
      if (ruzide::store::EnumValue(hive.m_hOpenKey, index, name, &value_type) != ERROR_SUCCESS)
        break;
      // Other types, and the key's unnamed value, are never listed.
      if (value_type != static_cast<DWORD>(type) || name[0] == '\0') continue;
    }
    if (withChildren && !listed.Add(name)) continue;
    list.AddTail(CString(name));
  }
  hive.Close();
  return 1;
}

int CRegDeclKey::ReadKeyNames(const char* path, CStringList& list, int withChildren) {
  return ReadNames(path, list, 0, withChildren);
}

int CRegDeclKey::ReadStringNames(const char* path, CStringList& list, int withChildren) {
  list.RemoveAll();
  return ReadNames(path, list, REG_SZ, withChildren);
}

int CRegDeclKey::ReadIntNames(const char* path, CStringList& list, int withChildren) {
  list.RemoveAll();
  return ReadNames(path, list, REG_DWORD, withChildren);
}

int CRegDeclKey::ReadBinaryNames(const char* path, CStringList& list, int withChildren) {
  list.RemoveAll();
  return ReadNames(path, list, REG_BINARY, withChildren);
}

int CRegDeclKey::ReadValueNames(const char* path, CStringList& list, int withChildren) {
  list.RemoveAll();
  int result = ReadNames(path, list, REG_SZ, withChildren);
  if (result) result = ReadNames(path, list, REG_DWORD, withChildren);
  if (result) result = ReadNames(path, list, REG_BINARY, withChildren);
  return result;
}
