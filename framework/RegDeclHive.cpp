#include "framework/RegDeclHive.h"

#include <cstring>

#include "framework/KeyInternal.h"
#include "framework/registry_calls/RegistryCalls.h"
#include "framework/registry_calls/Transaction.h"

namespace {

// Text values are read through a fixed buffer of this many bytes; longer data fails.
constexpr DWORD kTextBufferSize = 4096;

}  // namespace

CRegDeclHive::CRegDeclHive() : CRegDeclKey(), m_bWriteCacheOnDelete(1) {
  // A fresh binding pass: whatever an earlier pass, an aborted construction or run-time
  // children left in the arrays is dropped.
  if (s_aParentStack.GetSize() != 0) s_aParentStack.SetSize(0);
  if (s_aChildren.GetSize() != 0) s_aChildren.SetSize(0);
  s_aHives.Add(this);
  s_pHive = this;
  s_aParentStack.Add(this);
  m_hRootKey = nullptr;
  m_hOpenKey = nullptr;
  m_pHive = this;
}

CRegDeclHive::~CRegDeclHive() {
  // The run-time children write back what is dirty as they go (the declared ones, members
  // of the derived class, are gone already): in one transaction, so that a process that
  // dies meanwhile leaves the registry all old or all new.
  ruzide::store::Transaction write_back;
  ruzide::key::DeleteOwned(*this);
}

int CRegDeclHive::IsHive() { return 1; }
CRegDeclHive& CRegDeclHive::GetHive() { return *this; }
void CRegDeclHive::SetWriteCacheOnDelete(int flag) { m_bWriteCacheOnDelete = flag; }

// ---- Open-key layer --------------------------------------------------------------------

int CRegDeclHive::OpenKey(HKEY root, const char* path) {
  return ruzide::store::OpenKey(root, ruzide::store::KeyPath(path), ruzide::store::kReadWrite,
                                &m_hOpenKey) == ERROR_SUCCESS;
}

int CRegDeclHive::CreateKey(HKEY root, const char* path) {
  return ruzide::store::CreateKey(root, ruzide::store::KeyPath(path), &m_hOpenKey) == ERROR_SUCCESS;
}

void CRegDeclHive::Close() {
  if (!m_hOpenKey) return;
  ruzide::store::CloseKey(m_hOpenKey);
  m_hOpenKey = nullptr;
}

int CRegDeclHive::Read(const char* name, CString& out) {
  if (!m_hOpenKey) return 0;
  char buffer[kTextBufferSize];
  DWORD size = sizeof buffer;
  if (ruzide::store::QueryValue(m_hOpenKey, name, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return 0;
  }
  out = CString(buffer, static_cast<int>(size));  // up to the first zero byte
  return 1;
}

int CRegDeclHive::Read(const char* name, int& out) {
  if (!m_hOpenKey) return 0;
  unsigned char bytes[4] = {0, 0, 0, 0};
  DWORD size = sizeof bytes;
  if (ruzide::store::QueryValue(m_hOpenKey, name, bytes, &size) != ERROR_SUCCESS) return 0;
  // Little-endian, as REG_DWORD is stored; a shorter value yields only its own bytes.
  unsigned int value = 0;
  for (DWORD i = 0; i < size; ++i) value |= static_cast<unsigned int>(bytes[i]) << (8 * i);
  out = static_cast<int>(value);
  return 1;
}

int CRegDeclHive::Read(const char* name, unsigned char*& buf, int size) {
  if (!m_hOpenKey) return 0;
  if (buf && size != 0) {
    DWORD n = static_cast<DWORD>(size);
    return ruzide::store::QueryValue(m_hOpenKey, name, buf, &n) == ERROR_SUCCESS;
  }
  DWORD needed = 0;
  if (ruzide::store::QueryValue(m_hOpenKey, name, nullptr, &needed) != ERROR_SUCCESS ||
      needed == 0) {
    return 0;
  }
  delete[] buf;
  buf = new unsigned char[needed];
  return ruzide::store::QueryValue(m_hOpenKey, name, buf, &needed) == ERROR_SUCCESS;
}

int CRegDeclHive::Write(const char* name, const char* text) {
  if (!m_hOpenKey || !text) return 0;
  return ruzide::store::SetValue(m_hOpenKey, name, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(strlen(text) + 1)) == ERROR_SUCCESS;
}

int CRegDeclHive::Write(const char* name, int value) {
  if (!m_hOpenKey) return 0;
  const unsigned int v = static_cast<unsigned int>(value);
  const BYTE bytes[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8),
                         static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
  return ruzide::store::SetValue(m_hOpenKey, name, REG_DWORD, bytes, 4) == ERROR_SUCCESS;
}

int CRegDeclHive::Write(const char* name, const unsigned char*& data, int size) {
  if (!m_hOpenKey || size < 0) return 0;
  return ruzide::store::SetValue(m_hOpenKey, name, REG_BINARY, data, static_cast<DWORD>(size)) ==
         ERROR_SUCCESS;
}

// ---- Path layer ------------------------------------------------------------------------
// Each operation opens, does its one transfer, closes, and decides from the transfer
// alone; a failed open goes straight to the fallback with nothing to close.

int CRegDeclHive::WriteString(const char* path, const char* name, const char* text) {
  if (!CreateKey(m_hRootKey, path)) return 0;
  int ok = Write(name, text);
  Close();
  return ok;
}

int CRegDeclHive::WriteInt(const char* path, const char* name, int value) {
  if (!CreateKey(m_hRootKey, path)) return 0;
  int ok = Write(name, value);
  Close();
  return ok;
}

int CRegDeclHive::WriteBinary(const char* path, const char* name, const unsigned char* data,
                              int size) {
  if (!CreateKey(m_hRootKey, path)) return 0;
  int ok = Write(name, data, size);
  Close();
  return ok;
}

int CRegDeclHive::ReadString(const char* path, const char* name, CString& out, const char* def) {
  int ok = 0;
  if (CreateKey(m_hRootKey, path)) {
    ok = Read(name, out);
    Close();
  }
  if (!ok) out = def;  // a null default gives the empty text
  return ok;
}

int CRegDeclHive::ReadInt(const char* path, const char* name, int& out, int def) {
  int ok = 0;
  if (CreateKey(m_hRootKey, path)) {
    ok = Read(name, out);
    Close();
  }
  if (!ok) out = def;
  return ok;
}

int CRegDeclHive::ReadBinary(const char* path, const char* name, unsigned char* buf, int size) {
  if (!path || !name) return 0;
  // The value's own callers always pass a buffer; without one there is nothing to fill.
  if (!buf || size <= 0) return 0;
  int ok = 0;
  if (OpenKey(m_hRootKey, path)) {
    ok = Read(name, buf, size);
    Close();
  }
  if (!ok) memset(buf, 0, static_cast<size_t>(size));
  return ok;
}

namespace {

// Opens `path`, asks the open key for one count, closes; 0 on any failure.
int CountAt(CRegDeclHive& hive, const char* path, LONG (*count)(HKEY, DWORD*)) {
  if (!path || !hive.OpenKey(hive.m_hRootKey, path)) return 0;
  DWORD n = 0;
  if (count(hive.m_hOpenKey, &n) != ERROR_SUCCESS) n = 0;
  hive.Close();
  return static_cast<int>(n);
}

}  // namespace

int CRegDeclHive::GetSubKeyCount(const char* path) {
  return CountAt(*this, path, ruzide::store::CountSubKeys);
}

int CRegDeclHive::GetValueCount(const char* path) {
  return CountAt(*this, path, ruzide::store::CountValues);
}
