// CRegDeclKey: construction, the child tables, lookups and run-time children.
#include "framework/RegDeclKey.h"

#include <cstdlib>

#include "framework/KeyInternal.h"
#include "framework/RegDeclHive.h"

namespace ruzide {
namespace key {

CString OwnPath(const CRegDeclObject& key) {
  CString path = key.m_strFullPath;
  if (!path.IsEmpty()) path += '\\';
  path += key.m_strName;
  return path;
}

CString FormatName(const char* format, int n) {
  CString name;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  name.Format(format, n);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  return name;
}

}  // namespace key
}  // namespace ruzide

namespace {

const int kBlockSize = 10;

// Called after each node deleted; every 64th time, allocates a large block and frees it.
// With glibc's allocator that merges the small blocks freed since (a node's maps, list
// entries, strings and buffers: some twenty a key) while they are still in the
// processor's caches. Left alone, they are merged at the process's next large
// allocation, all of a tree's at once and each a wait for memory: at the commit of the
// write-back of a destroyed tree, where that was 30 % of the time over 100,000 keys.
// Under another allocator it costs one allocation per 64 nodes.
void MergeFreedBlocks() {
  static thread_local unsigned deleted = 0;
  if (++deleted % 64 != 0) return;
  void* volatile block = malloc(4096);  // volatile: the pair must not be optimised away
  free(block);
}

// The node a map holds under `name`, or null.
CRegDeclObject* Find(const CMapStringToPtr& map, const char* name) {
  void* node = nullptr;
  return map.Lookup(name, node) ? static_cast<CRegDeclObject*>(node) : nullptr;
}

}  // namespace

CRegDeclKey::CRegDeclKey(const char* name)
    : m_mapValues(kBlockSize),
      m_mapKeys(kBlockSize),
      m_mapInts(kBlockSize),
      m_mapStrings(kBlockSize),
      m_mapBinaries(kBlockSize),
      m_listOwned(kBlockSize) {
  m_strName = name;
  CRegDeclHive::s_aChildren.Add(this);
}

CRegDeclKey::CRegDeclKey()
    : m_mapValues(kBlockSize),
      m_mapKeys(kBlockSize),
      m_mapInts(kBlockSize),
      m_mapStrings(kBlockSize),
      m_mapBinaries(kBlockSize),
      m_listOwned(kBlockSize) {}

void ruzide::key::DeleteOwned(CRegDeclKey& key) {
  // Owned children go in creation order; the link to the next entry is taken before the
  // node is deleted. The maps and the array own nothing.
  POSITION pos = key.m_listOwned.GetHeadPosition();
  while (pos) {
    CRegDeclObject* child = key.m_listOwned.GetNext(pos);
    // While this child goes, the next one and the list entry after it load.
    if (pos) {
      POSITION after = pos;
      PrefetchNode(key.m_listOwned.GetNext(after));
      if (after) Prefetch(after);
    }
    delete child;
    MergeFreedBlocks();
  }
  key.m_listOwned.RemoveAll();
}

CRegDeclKey::~CRegDeclKey() { ruzide::key::DeleteOwned(*this); }

int CRegDeclKey::IsKey() { return 1; }

int CRegDeclKey::Delete() { return m_pParent ? m_pParent->DeleteRegKey(this) : 0; }

void CRegDeclKey::BindChild(CRegDeclObject* child, int bOwned) {
  if (!child) return;
  child->m_pParent = this;
  m_aChildren.Add(child);
  if (bOwned) m_listOwned.AddTail(child);

  CMapStringToPtr* typed = nullptr;
  if (child->IsKey()) {
    m_mapKeys.SetAt(child->m_strName, child);
  } else if (child->IsString()) {
    typed = &m_mapStrings;
  } else if (child->IsInt()) {
    typed = &m_mapInts;
  } else if (child->IsBinary()) {
    typed = &m_mapBinaries;
  }
  if (typed) {
    m_mapValues.SetAt(child->m_strName, child);
    typed->SetAt(child->m_strName, child);
  }

  if (bOwned) child->m_pHive = m_pHive ? m_pHive : static_cast<CRegDeclHive*>(this);
  child->m_strFullPath = ruzide::key::OwnPath(*this);
  child->ReadCache();
  // A freshly bound value is queued for the next write-back.
  if (typed) static_cast<CRegDeclValue*>(child)->m_bDirty = 1;
}

CRegDeclObject* CRegDeclKey::GetChild(const char* name, CRegDeclObject* pExcept) {
  if (!name) return nullptr;
  CRegDeclObject* node = Find(m_mapKeys, name);
  if (node && node != pExcept) return node;
  node = Find(m_mapValues, name);
  if (node && node != pExcept) return node;
  return nullptr;
}

CRegDeclObject* CRegDeclKey::GetChild(const char* format, int n, CRegDeclObject* pExcept) {
  if (!format) return nullptr;
  return GetChild(ruzide::key::FormatName(format, n), pExcept);
}

void CRegDeclKey::RemoveChild(CRegDeclObject* child, int bDeleteFromRegistry) {
  if (!child) return;
  INT_PTR slot = -1;
  for (INT_PTR i = 0; i < m_aChildren.GetSize(); ++i) {
    if (m_aChildren[i] == child) {
      slot = i;
      break;
    }
  }
  if (slot < 0) return;  // not ours: nothing changes, nothing is deleted

  if (child->IsKey()) {
    if (bDeleteFromRegistry) DeleteRegKey(static_cast<CRegDeclKey*>(child));
    m_mapKeys.RemoveKey(child->m_strName);
  } else {
    if (bDeleteFromRegistry && child->IsValue()) {
      CRegDeclValue* value = static_cast<CRegDeclValue*>(child);
      DeleteRegValue(value);
      value->m_bDirty = 0;
    }
    m_mapValues.RemoveKey(child->m_strName);
    if (child->IsInt()) m_mapInts.RemoveKey(child->m_strName);
    if (child->IsString()) m_mapStrings.RemoveKey(child->m_strName);
    if (child->IsBinary()) m_mapBinaries.RemoveKey(child->m_strName);
  }

  POSITION owned = m_listOwned.Find(child);
  if (owned) m_listOwned.RemoveAt(owned);
  m_aChildren.RemoveAt(slot);
  delete child;  // a dirty value writes itself back here in write-back mode
}

// ---- Run-time children -------------------------------------------------------------------

namespace {

// The value child called `name` when it is of the kind `is_kind` tests for; null when a
// value of another kind has the name; otherwise `make()`, bound to `key` as owned.
template <class T, class Make>
T* GetOrCreateValue(CRegDeclKey& key, const char* name, int (CRegDeclObject::*is_kind)(),
                    Make make) {
  if (!name) return nullptr;
  if (CRegDeclObject* node = Find(key.m_mapValues, name)) {
    return (node->*is_kind)() ? static_cast<T*>(node) : nullptr;
  }
  T* child = make();
  key.BindChild(child, 1);
  return child;
}

}  // namespace

CRegDeclInt* CRegDeclKey::GetChildInt(const char* name, int nDefault) {
  return GetOrCreateValue<CRegDeclInt>(*this, name, &CRegDeclObject::IsInt, [&] {
    return new CRegDeclInt(name, nDefault, 0, 0);  // equal bounds: never clamped
  });
}

CRegDeclString* CRegDeclKey::GetChildString(const char* name, const char* pszDefault) {
  return GetOrCreateValue<CRegDeclString>(*this, name, &CRegDeclObject::IsString,
                                          [&] { return new CRegDeclString(name, pszDefault); });
}

CRegDeclBinary* CRegDeclKey::GetChildBinary(const char* name, int nSize) {
  return GetOrCreateValue<CRegDeclBinary>(*this, name, &CRegDeclObject::IsBinary,
                                          [&] { return new CRegDeclBinary(name, nSize); });
}

CRegDeclKey* CRegDeclKey::GetChildKey(const char* name) {
  if (!name) return nullptr;
  if (CRegDeclObject* found = Find(m_mapKeys, name)) return static_cast<CRegDeclKey*>(found);
  CRegDeclKey* child = new CRegDeclKey(name);
  BindChild(child, 1);
  return child;
}

CRegDeclKey* CRegDeclKey::GetChildKeyFormName(const char* format, int n) {
  if (!format) return nullptr;
  return GetChildKey(ruzide::key::FormatName(format, n));
}
