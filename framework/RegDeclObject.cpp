#include "framework/RegDeclObject.h"

#include "framework/RegDeclHive.h"
#include "framework/RegDeclKey.h"
#include "framework/registry_calls/RegistryCalls.h"

CRegDeclObject::CRegDeclObject()
    : m_bInRegistry(0), m_pHive(CRegDeclHive::s_pHive), m_pParent(nullptr) {}

// Member by member, here and in every value class: a copy shares the original's hive
// and parent, and is not one of the nodes the hive binds.
CRegDeclObject::CRegDeclObject(const CRegDeclObject& other) = default;
CRegDeclObject& CRegDeclObject::operator=(const CRegDeclObject& other) = default;

CRegDeclObject::~CRegDeclObject() = default;

int CRegDeclObject::IsValue() { return 0; }
int CRegDeclObject::IsHive() { return 0; }
int CRegDeclObject::IsBinary() { return 0; }
int CRegDeclObject::IsKey() { return 0; }
int CRegDeclObject::IsInt() { return 0; }
int CRegDeclObject::IsString() { return 0; }
int CRegDeclObject::Delete() { return 0; }
CRegDeclHive& CRegDeclObject::GetHive() { return *m_pHive; }

int CRegDeclObject::KeyExists(const char* path) {
  if (!m_pHive) return 0;
  // A handle of our own and read access alone: the test must not disturb whatever the
  // hive has open, and must succeed where only reading is allowed.
  HKEY key = nullptr;
  LONG rc = ruzide::store::OpenKey(m_pHive->m_hRootKey, ruzide::store::KeyPath(path),
                                   ruzide::store::kReadOnly, &key);
  if (key) ruzide::store::CloseKey(key);
  return rc == ERROR_SUCCESS ? 1 : 0;
}

void CRegDeclObject::GetFullPath(CString& out) {
  out = m_strFullPath;
  if (!out.IsEmpty() && out[out.GetLength() - 1] != '\\') out += '\\';
  out += m_strName;
}

CRegDeclObjectArray::CRegDeclObjectArray() : m_nIndex(0) {}

void CRegDeclObjectArray::SetIndex(int n) { m_nIndex = n; }
void CRegDeclObjectArray::AdjustIndex(int n) { m_nIndex += n; }

int CRegDeclObjectArray::IsIndexValid() { return m_nIndex >= 0 && m_nIndex < GetSize() ? 1 : 0; }

CRegDeclObject* CRegDeclObjectArray::GetAtCurrentIndex() {
  return IsIndexValid() ? GetAt(m_nIndex) : nullptr;
}

CRegDeclObject* CRegDeclObjectArray::GetLast() {
  return IsIndexValid() ? GetAt(GetSize() - 1) : nullptr;
}

void CRegDeclObjectArray::RemoveLast() {
  if (GetSize() > 0) RemoveAt(GetSize() - 1);
}

void CRegDeclObjectArray::BindAsChild() {
  CRegDeclObject* parent = CRegDeclHive::s_aParentStack.GetLast();
  CRegDeclObject* child = GetAtCurrentIndex();
  if (!parent || !child) return;
  // Only keys are ever pushed on the parent stack.
  static_cast<CRegDeclKey*>(parent)->BindChild(child, 0);
  AdjustIndex(1);
  if (child->IsKey()) CRegDeclHive::s_aParentStack.Add(child);
}
