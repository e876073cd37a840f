// CRegDeclKey: reading and writing values by name (through children) or by path
// (through the hive), and the registry counts of the key.
#include <algorithm>
#include <cstring>

#include "framework/KeyInternal.h"
#include "framework/RegDeclHive.h"
#include "framework/RegDeclKey.h"

namespace {

// Copies at most `size` characters of `text` into `buf` and terminates it there; `buf`
// holds size + 1 bytes.
void CopyToBuffer(const CString& text, char* buf, int size) {
  if (!buf) return;
  const int n = std::min(std::max(size, 0), text.GetLength());
  memcpy(buf, text.GetString(), static_cast<size_t>(n));
  buf[n] = '\0';
}

// The first `len` characters of `value` (all of it when shorter).
CString Cut(const char* value, int len) { return CString(value, std::max(len, 0)); }

}  // namespace

// ---- Child-based reads -------------------------------------------------------------------

int CRegDeclKey::ReadStringValue(const char* name, CString& out, const char* def) {
  CRegDeclString* child = GetChildString(name, def);
  if (!child) return 0;
  out = child->m_strValue;
  return 1;
}

int CRegDeclKey::ReadStringValue(const char* name, char* buf, int size, const char* def) {
  CRegDeclString* child = GetChildString(name, def);
  if (!child) return 0;
  CopyToBuffer(child->m_strValue, buf, size);
  return 1;
}

int CRegDeclKey::ReadStringFormName(const char* format, int n, CString& out, const char* def) {
  if (!format) return 0;
  return ReadStringValue(ruzide::key::FormatName(format, n), out, def);
}

int CRegDeclKey::ReadIntValue(const char* name, int def) {
  CRegDeclInt* child = GetChildInt(name, def);
  return child ? child->m_nValue : 0;
}

int CRegDeclKey::ReadIntValueFormName(const char* format, int n, int def) {
  if (!format) return 0;
  return ReadIntValue(ruzide::key::FormatName(format, n), def);
}

int CRegDeclKey::ReadBinaryValue(const char* name, unsigned char* buf, int size) {
  CRegDeclBinary* child = GetChildBinary(name, size);
  if (!child) return 0;
  if (child->m_nBufferSize != size) child->SetSize(size);  // re-reads at the new size
  if (child->m_nBufferSize != size) return 0;
  if (buf && size > 0) memcpy(buf, child->m_pBuffer, static_cast<size_t>(size));
  return 1;
}

// ---- Child-based writes ------------------------------------------------------------------

void CRegDeclKey::WriteStringValue(const char* name, const CString& value) {
  if (CRegDeclString* child = GetChildString(name, "")) child->SetValue(value);
}

void CRegDeclKey::WriteStringValue(const char* name, const char* value, int len) {
  if (!value) return;
  WriteStringValue(name, Cut(value, len));
}

void CRegDeclKey::WriteStringValueFormName(const char* format, int n, const CString& value) {
  if (!format) return;
  WriteStringValue(ruzide::key::FormatName(format, n), value);
}

void CRegDeclKey::WriteIntValue(const char* name, int value) {
  // A new child takes the value itself as its default.
  if (CRegDeclInt* child = GetChildInt(name, value)) child->SetValue(value);
}

void CRegDeclKey::WriteIntValueFormName(const char* format, int n, int value) {
  if (!format) return;
  WriteIntValue(ruzide::key::FormatName(format, n), value);
}

void CRegDeclKey::WriteBinaryValue(const char* name, const unsigned char* data, int size) {
  CRegDeclBinary* child = GetChildBinary(name, size);
  if (child && child->m_nBufferSize == size) child->SetValue(data);
}

// ---- Path-based access -------------------------------------------------------------------

namespace {

// The path a path-based operation works on: `path`, or the key's own full path.
CString PathOrOwn(CRegDeclKey& key, const char* path) {
  if (path) return CString(path);
  CString own;
  key.GetFullPath(own);
  return own;
}

// The child of `map` called `name` when `path` is exactly the key's own path: path-based
// reads answer from it instead of the registry.
CRegDeclObject* ChildForPath(CRegDeclKey& key, const CString& path, const char* name,
                             const CMapStringToPtr& map) {
  if (!name) return nullptr;
  CString own;
  key.GetFullPath(own);
  void* node = nullptr;
  if (path.Compare(own) != 0 || !map.Lookup(name, node)) return nullptr;
  return static_cast<CRegDeclObject*>(node);
}

}  // namespace

int CRegDeclKey::ReadStringValue(const char* path, const char* name, CString& out,
                                 const char* def) {
  const CString where = PathOrOwn(*this, path);
  if (CRegDeclObject* child = ChildForPath(*this, where, name, m_mapStrings)) {
    out = static_cast<CRegDeclString*>(child)->m_strValue;
  } else {
    GetHive().ReadString(where, name, out, def);
  }
  return 1;
}

int CRegDeclKey::ReadStringValue(const char* path, const char* name, char* buf, int size,
                                 const char* def) {
  CString text;
  int result = ReadStringValue(path, name, text, def);
  CopyToBuffer(text, buf, size);
  return result;
}

int CRegDeclKey::ReadIntValue(const char* path, const char* name, int& out, int def) {
  out = def;
  const CString where = PathOrOwn(*this, path);
  if (CRegDeclObject* child = ChildForPath(*this, where, name, m_mapInts)) {
    out = static_cast<CRegDeclInt*>(child)->m_nValue;
  } else {
    GetHive().ReadInt(where, name, out, def);
  }
  return 1;
}

int CRegDeclKey::ReadIntValue(const char* path, const char* name, int def) {
  int value = def;
  ReadIntValue(path, name, value, def);
  return value;
}

int CRegDeclKey::ReadBinaryValue(const char* path, const char* name, unsigned char* buf,
                                 int size) {
  GetHive().ReadBinary(PathOrOwn(*this, path), name, buf, size);
  return 1;
}

void CRegDeclKey::WriteStringValue(const char* path, const char* name, const CString& value) {
  GetHive().WriteString(PathOrOwn(*this, path), name, value);
}

void CRegDeclKey::WriteStringValue(const char* path, const char* name, const char* value,
                                   int len) {
  if (!value) return;
  GetHive().WriteString(PathOrOwn(*this, path), name, Cut(value, len));
}

void CRegDeclKey::WriteIntValue(const char* path, const char* name, int value) {
  GetHive().WriteInt(PathOrOwn(*this, path), name, value);
}

int CRegDeclKey::WriteBinaryValue(const char* path, const char* name, const unsigned char* data,
                                  int size) {
  GetHive().WriteBinary(PathOrOwn(*this, path), name, data, size);
  return 1;
}

// ---- Counts ------------------------------------------------------------------------------

int CRegDeclKey::GetSubKeyCount() { return GetHive().GetSubKeyCount(PathOrOwn(*this, nullptr)); }

int CRegDeclKey::GetValueCount() { return GetHive().GetValueCount(PathOrOwn(*this, nullptr)); }
