// CRegDeclKey: operations over the whole subtree below a key: refreshing the caches,
// writing them back, mirroring what the registry holds, and deletion.
//
// The hive has one working key. None of these operations holds it across a call into
// another node: they close before visiting children, delete children before opening the
// parent's path, and list names before creating any child.
#include <deque>
#include <string>
#include <unordered_map>

#include "framework/KeyInternal.h"
#include "framework/RegDeclHive.h"
#include "framework/RegDeclKey.h"
#include "framework/registry_calls/RegistryCalls.h"
#include "framework/registry_calls/Transaction.h"

void CRegDeclKey::ReadCache() {
  CRegDeclHive& hive = GetHive();
  // Only a test: the key itself is not created.
  m_bInRegistry = hive.OpenKey(hive.m_hRootKey, ruzide::store::KeyPath(m_strFullPath, m_strName));
  hive.Close();
  const INT_PTR count = m_aChildren.GetSize();
  for (INT_PTR i = 0; i < count; ++i) {
    ruzide::key::PrefetchWalk(m_aChildren, i);
    m_aChildren[i]->ReadCache();
  }
}

void CRegDeclKey::WriteCache(int bForce) {
  ruzide::store::Transaction batch;  // one commit for the subtree; nested ones only count
  CRegDeclHive& hive = GetHive();
  if (hive.CreateKey(hive.m_hRootKey, ruzide::store::KeyPath(m_strFullPath, m_strName))) {
    hive.Write("", 0);  // every key written gets the unnamed REG_DWORD 0
    hive.Close();
  }
  const INT_PTR count = m_aChildren.GetSize();
  for (INT_PTR i = 0; i < count; ++i) {
    ruzide::key::PrefetchWalk(m_aChildren, i);
    m_aChildren[i]->WriteCache(bForce);
  }
}

namespace {

// Binds a run-time child created by mirroring: owned, and clean since it holds exactly
// what the registry has.
void BindMirrored(CRegDeclKey& key, CRegDeclValue* child) {
  key.BindChild(child, 1);
  child->m_bDirty = 0;
}

}  // namespace

void CRegDeclKey::MirrorRegistry() {
  ruzide::store::Transaction batch;  // one snapshot of the subtree, one lock
  const CString path = ruzide::key::OwnPath(*this);
  CStringList keys, strings, ints, binaries;
  ReadKeyNames(path, keys, 1);
  ReadBinaryNames(path, binaries, 1);
  ReadStringNames(path, strings, 1);
  ReadIntNames(path, ints, 1);

  RemoveExistingChildren(keys, m_mapKeys);
  RemoveExistingChildren(ints, m_mapInts);
  RemoveExistingChildren(strings, m_mapStrings);
  RemoveExistingChildren(binaries, m_mapBinaries);

  for (POSITION pos = strings.GetHeadPosition(); pos;)
    BindMirrored(*this, new CRegDeclString(strings.GetNext(pos), nullptr));
  for (POSITION pos = ints.GetHeadPosition(); pos;)
    BindMirrored(*this, new CRegDeclInt(ints.GetNext(pos), 0, 0, 0));
  // No buffer yet, so nothing is read; SetSize gives it one later.
  for (POSITION pos = binaries.GetHeadPosition(); pos;)
    BindMirrored(*this, new CRegDeclBinary(binaries.GetNext(pos), 0));
  for (POSITION pos = keys.GetHeadPosition(); pos;) {
    CRegDeclKey* child = new CRegDeclKey(keys.GetNext(pos));
    BindChild(child, 1);
    child->MirrorRegistry();  // depth first
  }
}

void CRegDeclKey::RemoveExistingChildren(CStringList& names, CMapStringToPtr& map) {
  // A key mirrored for the first time has no children: indexing its names anyway cost a
  // map and a queue for each name, a tenth of a mirror's instructions.
  if (names.IsEmpty() || map.IsEmpty()) return;
  // Where each name stands in the list, front first, so that each map entry removes the
  // first remaining exact match without rescanning the list.
  std::unordered_map<std::string, std::deque<POSITION>> at;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    POSITION here = pos;
    at[names.GetNext(pos).GetString()].push_back(here);
  }
  CString name;
  void* node = nullptr;
  for (POSITION pos = map.GetStartPosition(); pos;) {
    map.GetNextAssoc(pos, name, node);
    auto found = at.find(name.GetString());
    if (found == at.end() || found->second.empty()) continue;
    names.RemoveAt(found->second.front());
    found->second.pop_front();
  }
}

int CRegDeclKey::DeleteRegValue(CRegDeclValue* pValue) {
  if (!pValue) return 0;
  CRegDeclHive& hive = GetHive();
  if (!hive.OpenKey(hive.m_hRootKey, pValue->m_strFullPath)) return 0;  // never created
  LONG rc = ruzide::store::DeleteValue(hive.m_hOpenKey, pValue->m_strName);
  hive.Close();
  return rc == ERROR_SUCCESS ? 1 : 0;
}

int CRegDeclKey::DeleteRegKey(CRegDeclKey* pKey) {
  if (!pKey) return 0;
  ruzide::store::Transaction batch;
  // Children first, in bind order; their results do not stop anything.
  const INT_PTR count = pKey->m_aChildren.GetSize();
  for (INT_PTR i = 0; i < count; ++i) {
    ruzide::key::PrefetchWalk(pKey->m_aChildren, i);
    CRegDeclObject* child = pKey->m_aChildren[i];
    if (!child) continue;
    if (child->IsKey()) {
      DeleteRegKey(static_cast<CRegDeclKey*>(child));
    } else if (child->IsValue()) {
      CRegDeclValue* value = static_cast<CRegDeclValue*>(child);
      DeleteRegValue(value);
      value->m_bDirty = 0;
    }
  }
  CRegDeclHive& hive = GetHive();
  if (!hive.OpenKey(hive.m_hRootKey, pKey->m_strFullPath)) return 0;
  LONG rc = ruzide::store::DeleteKey(hive.m_hOpenKey, pKey->m_strName);
  hive.Close();
  // The key is gone only once the deletion is committed.
  return rc == ERROR_SUCCESS && batch.Commit() == ERROR_SUCCESS ? 1 : 0;
}
