#include "framework/RegDeclValue.h"

#include <cstring>

#include "framework/RegDeclHive.h"
#include "framework/RegDeclKey.h"
#include "framework/ValueInternal.h"

namespace ruzide {
namespace value {

void MarkChanged(CRegDeclValue& value) {
  value.m_bDirty = 1;
  if (!value.GetHive().m_bWriteCacheOnDelete) value.WriteCache(1);
}

bool WritesBackAtDestruction(CRegDeclValue& value) {
  return value.m_bDirty && value.m_pHive && value.GetHive().m_bWriteCacheOnDelete;
}

}  // namespace value
}  // namespace ruzide

namespace {

using ruzide::value::MarkChanged;
using ruzide::value::WritesBackAtDestruction;

unsigned char* CopyBuffer(const unsigned char* source, int size) {
  if (size <= 0 || !source) return nullptr;
  unsigned char* copy = new unsigned char[size];
  memcpy(copy, source, static_cast<size_t>(size));
  return copy;
}

}  // namespace

// ---- CRegDeclValue ---------------------------------------------------------------------

CRegDeclValue::CRegDeclValue() : m_bDirty(0) {}

CRegDeclValue::CRegDeclValue(const CRegDeclValue& other) = default;
CRegDeclValue& CRegDeclValue::operator=(const CRegDeclValue& other) = default;

void CRegDeclValue::Initialize(const char* name) {
  CRegDeclHive::s_aChildren.Add(this);
  m_strName = name;
  m_bInRegistry = 0;
  m_bDirty = 0;
}

int CRegDeclValue::Delete() { return m_pParent ? m_pParent->DeleteRegValue(this) : 0; }

// ---- CRegDeclInt -----------------------------------------------------------------------

CRegDeclInt::CRegDeclInt(const char* name, int nDefault, int nMin, int nMax)
    : m_nValue(nDefault), m_nDefault(nDefault), m_nMin(nMin), m_nMax(nMax) {
  Initialize(name);
}

CRegDeclInt::CRegDeclInt(const CRegDeclInt& other) = default;
CRegDeclInt& CRegDeclInt::operator=(const CRegDeclInt& other) = default;

CRegDeclInt::~CRegDeclInt() {
  if (WritesBackAtDestruction(*this)) CRegDeclInt::WriteCache(0);
}

int CRegDeclInt::IsValue() { return 1; }
int CRegDeclInt::IsInt() { return 1; }
CRegDeclInt::operator int() { return m_nValue; }

void CRegDeclInt::ReadCache() {
  m_bInRegistry = GetHive().ReadInt(m_strFullPath, m_strName, m_nValue, m_nDefault);
  m_bDirty = 0;
}

void CRegDeclInt::WriteCache(int bForce) {
  if (!m_bDirty && !bForce) return;
  m_bInRegistry = GetHive().WriteInt(m_strFullPath, m_strName, m_nValue);
  m_bDirty = 0;
}

void CRegDeclInt::SetValue(int n) {
  if (n == m_nValue) return;  // compared before clamping
  m_nValue = n;
  if (m_nMin != m_nMax) {
    // Unsigned, so that bounds 0 and -1 (0xFFFFFFFF) let every value through.
    const unsigned int value = static_cast<unsigned int>(n);
    if (value > static_cast<unsigned int>(m_nMax)) {
      m_nValue = m_nMax;
    } else if (value < static_cast<unsigned int>(m_nMin)) {
      m_nValue = m_nMin;
    }
  }
  MarkChanged(*this);
}

int CRegDeclInt::operator=(int n) {
  SetValue(n);
  return m_nValue;
}

// ---- CRegDeclString --------------------------------------------------------------------

CRegDeclString::CRegDeclString(const char* name, const char* pszDefault)
    : m_strValue(pszDefault), m_strDefault(pszDefault) {
  Initialize(name);
}

CRegDeclString::CRegDeclString(const CRegDeclString& other) = default;
CRegDeclString& CRegDeclString::operator=(const CRegDeclString& other) = default;

CRegDeclString::~CRegDeclString() {
  if (WritesBackAtDestruction(*this)) CRegDeclString::WriteCache(0);
}

int CRegDeclString::IsValue() { return 1; }
int CRegDeclString::IsString() { return 1; }
CRegDeclString::operator char const*() { return m_strValue; }
void CRegDeclString::MirrorRegistry() {}

void CRegDeclString::ReadCache() {
  m_bInRegistry = GetHive().ReadString(m_strFullPath, m_strName, m_strValue, m_strDefault);
  m_bDirty = 0;
}

void CRegDeclString::WriteCache(int bForce) {
  if (!m_bDirty && !bForce) return;
  m_bInRegistry = GetHive().WriteString(m_strFullPath, m_strName, m_strValue);
  m_bDirty = 0;
}

void CRegDeclString::SetValue(const char* psz) {
  if (!psz) return;
  // A text that differs only in letter case counts as unchanged.
  if (m_strValue.CompareNoCase(psz) == 0) return;
  m_strValue = psz;
  MarkChanged(*this);
}

int CRegDeclString::operator=(const char* psz) {
  SetValue(psz);
  return 1;
}

// ---- CRegDeclBinary --------------------------------------------------------------------

CRegDeclBinary::CRegDeclBinary(const char* name, int nSize)
    : m_pBuffer(nullptr), m_nBufferSize(nSize > 0 ? nSize : 0) {
  if (m_nBufferSize) m_pBuffer = new unsigned char[m_nBufferSize]();
  Initialize(name);
}

CRegDeclBinary::CRegDeclBinary(const CRegDeclBinary& other)
    : CRegDeclValue(other),
      m_pBuffer(CopyBuffer(other.m_pBuffer, other.m_nBufferSize)),
      m_nBufferSize(m_pBuffer ? other.m_nBufferSize : 0) {}

CRegDeclBinary& CRegDeclBinary::operator=(const CRegDeclBinary& other) {
  if (this == &other) return *this;
  CRegDeclValue::operator=(other);
  delete[] m_pBuffer;
  m_pBuffer = CopyBuffer(other.m_pBuffer, other.m_nBufferSize);
  m_nBufferSize = m_pBuffer ? other.m_nBufferSize : 0;
  return *this;
}

CRegDeclBinary::~CRegDeclBinary() {
  if (WritesBackAtDestruction(*this)) CRegDeclBinary::WriteCache(0);
  delete[] m_pBuffer;
}

int CRegDeclBinary::IsValue() { return 1; }
int CRegDeclBinary::IsBinary() { return 1; }
CRegDeclBinary::operator unsigned char const*() { return m_pBuffer; }

void CRegDeclBinary::GetValue(unsigned char* pOut) {
  if (pOut && m_nBufferSize) memcpy(pOut, m_pBuffer, static_cast<size_t>(m_nBufferSize));
}

void CRegDeclBinary::ReadCache() {
  if (m_nBufferSize && m_pBuffer) {
    m_bInRegistry = GetHive().ReadBinary(m_strFullPath, m_strName, m_pBuffer, m_nBufferSize);
  }
  m_bDirty = 0;
}

void CRegDeclBinary::WriteCache(int bForce) {
  if (!m_bDirty && !bForce) return;
  if (!m_pBuffer) return;  // nothing to write; the dirty mark stays
  m_bInRegistry = GetHive().WriteBinary(m_strFullPath, m_strName, m_pBuffer, m_nBufferSize);
  m_bDirty = 0;
}

void CRegDeclBinary::SetValue(const unsigned char* p) {
  if (!p || !m_pBuffer || !m_nBufferSize) return;
  if (memcmp(p, m_pBuffer, static_cast<size_t>(m_nBufferSize)) == 0) return;
  memcpy(m_pBuffer, p, static_cast<size_t>(m_nBufferSize));
  MarkChanged(*this);
}

int CRegDeclBinary::operator=(const unsigned char* p) {
  SetValue(p);
  return 1;
}

void CRegDeclBinary::SetSize(int nSize) {
  if (nSize < 0) nSize = 0;
  if (nSize == m_nBufferSize) return;
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
  m_nBufferSize = 0;
  if (nSize == 0) return;
  m_pBuffer = new unsigned char[nSize]();
  m_nBufferSize = nSize;
  m_bInRegistry = GetHive().ReadBinary(m_strFullPath, m_strName, m_pBuffer, m_nBufferSize);
  // A value the registry does not hold is queued to be written with zero bytes.
  m_bDirty = m_bInRegistry ? 0 : 1;
}
