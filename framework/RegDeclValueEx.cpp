#include "framework/RegDeclValueEx.h"

#include <cstdlib>
#include <cstring>

#include "framework/ValueInternal.h"
#include "framework/registry_calls/RegistryCalls.h"

namespace ruzide {
namespace value {

int ReadBytes(CRegDeclHive& hive, const char* path, const char* name, std::string* out) {
  if (!hive.CreateKey(hive.m_hRootKey, path)) return 0;
  DWORD size = 0;
  int ok = store::QueryValue(hive.m_hOpenKey, name, nullptr, &size) == ERROR_SUCCESS;
  std::string bytes(size, '\0');
  if (ok && size) {
    ok = store::QueryValue(hive.m_hOpenKey, name, reinterpret_cast<BYTE*>(&bytes[0]), &size) ==
         ERROR_SUCCESS;
    bytes.resize(size);
  }
  hive.Close();
  if (ok) out->swap(bytes);
  return ok;
}

int WriteBytes(CRegDeclHive& hive, const char* path, const char* name, DWORD type,
               const std::string& data) {
  if (!hive.CreateKey(hive.m_hRootKey, path)) return 0;
  int ok = store::SetValue(hive.m_hOpenKey, name, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  hive.Close();
  return ok;
}

}  // namespace value
}  // namespace ruzide

using ruzide::value::MarkChanged;
using ruzide::value::WritesBackAtDestruction;

namespace {

template <class T>
T Clamp(T n, T min, T max) {
  if (min == max) return n;
  return n < min ? min : n > max ? max : n;
}

}  // namespace

// ---- CRegDeclSignedInt -----------------------------------------------------------------

CRegDeclSignedInt::CRegDeclSignedInt(const char* name, int nDefault, int nMin, int nMax)
    : CRegDeclInt(name, nDefault, 0, 0), m_nSignedMin(nMin), m_nSignedMax(nMax) {}

CRegDeclSignedInt::CRegDeclSignedInt(const CRegDeclSignedInt& other) = default;
CRegDeclSignedInt& CRegDeclSignedInt::operator=(const CRegDeclSignedInt& other) = default;

CRegDeclSignedInt::~CRegDeclSignedInt() = default;

void CRegDeclSignedInt::SetValue(int n) {
  CRegDeclInt::SetValue(Clamp(n, m_nSignedMin, m_nSignedMax));
}

int CRegDeclSignedInt::operator=(int n) {
  SetValue(n);
  return m_nValue;
}

// ---- CRegDeclQword ---------------------------------------------------------------------

CRegDeclQword::CRegDeclQword(const char* name, long long nDefault, long long nMin, long long nMax)
    : m_nValue(nDefault), m_nDefault(nDefault), m_nMin(nMin), m_nMax(nMax) {
  Initialize(name);
}

CRegDeclQword::CRegDeclQword(const CRegDeclQword& other) = default;
CRegDeclQword& CRegDeclQword::operator=(const CRegDeclQword& other) = default;

CRegDeclQword::~CRegDeclQword() {
  if (WritesBackAtDestruction(*this)) CRegDeclQword::WriteCache(0);
}

int CRegDeclQword::IsValue() { return 1; }
CRegDeclQword::operator long long() { return m_nValue; }

void CRegDeclQword::ReadCache() {
  std::string bytes;
  m_bInRegistry = ruzide::value::ReadBytes(GetHive(), m_strFullPath, m_strName, &bytes) &&
                  !bytes.empty() && bytes.size() <= 8;
  unsigned long long value = 0;
  for (size_t i = 0; m_bInRegistry && i < bytes.size(); ++i) {
    value |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  }
  m_nValue = m_bInRegistry ? static_cast<long long>(value) : m_nDefault;
  m_bDirty = 0;
}

void CRegDeclQword::WriteCache(int bForce) {
  if (!m_bDirty && !bForce) return;
  std::string bytes(8, '\0');
  const unsigned long long value = static_cast<unsigned long long>(m_nValue);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  m_bInRegistry = ruzide::value::WriteBytes(GetHive(), m_strFullPath, m_strName, REG_QWORD, bytes);
  m_bDirty = 0;
}

void CRegDeclQword::SetValue(long long n) {
  n = Clamp(n, m_nMin, m_nMax);
  if (n == m_nValue) return;
  m_nValue = n;
  MarkChanged(*this);
}

long long CRegDeclQword::operator=(long long n) {
  SetValue(n);
  return m_nValue;
}

// ---- CRegDeclStringList ----------------------------------------------------------------

namespace {

void CopyList(const CStringList& from, CStringList& to) {
  to.RemoveAll();
  for (POSITION pos = from.GetHeadPosition(); pos;) to.AddTail(from.GetNext(pos));
}

bool SameList(const CStringList& a, const CStringList& b) {
  if (a.GetCount() != b.GetCount()) return false;
  POSITION pa = a.GetHeadPosition();
  POSITION pb = b.GetHeadPosition();
  while (pa && pb) {
    if (a.GetNext(pa) != b.GetNext(pb)) return false;
  }
  return true;
}

}  // namespace

CRegDeclStringList::CRegDeclStringList(const char* name) { Initialize(name); }

CRegDeclStringList::CRegDeclStringList(const CRegDeclStringList& other) : CRegDeclValue(other) {
  CopyList(other.m_listValue, m_listValue);
}

CRegDeclStringList& CRegDeclStringList::operator=(const CRegDeclStringList& other) {
  CRegDeclValue::operator=(other);
  if (this != &other) CopyList(other.m_listValue, m_listValue);
  return *this;
}

CRegDeclStringList::~CRegDeclStringList() {
  if (WritesBackAtDestruction(*this)) CRegDeclStringList::WriteCache(0);
}

int CRegDeclStringList::IsValue() { return 1; }
int CRegDeclStringList::GetCount() { return static_cast<int>(m_listValue.GetCount()); }
void CRegDeclStringList::GetValue(CStringList& out) { CopyList(m_listValue, out); }

void CRegDeclStringList::ReadCache() {
  std::string bytes;
  m_bInRegistry = ruzide::value::ReadBytes(GetHive(), m_strFullPath, m_strName, &bytes);
  m_listValue.RemoveAll();
  // Strings up to the first empty one; a last string without its zero still counts.
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\0', at);
    if (end == std::string::npos) end = bytes.size();
    if (end == at) break;
    m_listValue.AddTail(CString(bytes.data() + at, static_cast<int>(end - at)));
    at = end + 1;
  }
  m_bDirty = 0;
}

void CRegDeclStringList::WriteCache(int bForce) {
  if (!m_bDirty && !bForce) return;
  std::string bytes;
  for (POSITION pos = m_listValue.GetHeadPosition(); pos;) {
    const CString& entry = m_listValue.GetNext(pos);
    bytes.append(entry.GetString(), static_cast<size_t>(entry.GetLength()));
    bytes += '\0';
  }
  bytes += '\0';
  m_bInRegistry =
      ruzide::value::WriteBytes(GetHive(), m_strFullPath, m_strName, REG_MULTI_SZ, bytes);
  m_bDirty = 0;
}

void CRegDeclStringList::SetValue(const CStringList& list) {
  CStringList kept;
  for (POSITION pos = list.GetHeadPosition(); pos;) {
    const CString& entry = list.GetNext(pos);
    if (!entry.IsEmpty()) kept.AddTail(entry);
  }
  if (SameList(kept, m_listValue)) return;
  CopyList(kept, m_listValue);
  MarkChanged(*this);
}

// ---- CRegDeclExpandString --------------------------------------------------------------

CRegDeclExpandString::CRegDeclExpandString(const char* name, const char* pszDefault)
    : CRegDeclString(name, pszDefault) {}

CRegDeclExpandString::CRegDeclExpandString(const CRegDeclExpandString& other) = default;
CRegDeclExpandString& CRegDeclExpandString::operator=(const CRegDeclExpandString& other) = default;

// Written here, as REG_EXPAND_SZ, before the base's destructor would write it as REG_SZ.
CRegDeclExpandString::~CRegDeclExpandString() {
  if (WritesBackAtDestruction(*this)) CRegDeclExpandString::WriteCache(0);
}

void CRegDeclExpandString::WriteCache(int bForce) {
  if (!m_bDirty && !bForce) return;
  std::string text(m_strValue.GetString(), static_cast<size_t>(m_strValue.GetLength()) + 1);
  m_bInRegistry =
      ruzide::value::WriteBytes(GetHive(), m_strFullPath, m_strName, REG_EXPAND_SZ, text);
  m_bDirty = 0;
}

CString CRegDeclExpandString::GetExpanded() {
  const char* text = m_strValue;
  CString out;
  while (*text) {
    const char* open = strchr(text, '%');
    const char* close = open ? strchr(open + 1, '%') : nullptr;
    if (!close) {
      out += text;
      break;
    }
    out += CString(text, static_cast<int>(open - text));
    const CString name(open + 1, static_cast<int>(close - open - 1));
    const char* value = name.IsEmpty() ? nullptr : getenv(name);
    if (value) {
      out += value;
      text = close + 1;
    } else {
      // Not a variable: keep the first % and look for one from the second on.
      out += '%';
      out += name;
      text = close;
    }
  }
  return out;
}
