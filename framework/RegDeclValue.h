// Typed value nodes: CRegDeclValue and its three kinds CRegDeclInt (REG_DWORD),
// CRegDeclString (REG_SZ) and CRegDeclBinary (REG_BINARY).
//
// A value keeps a cached copy of one registry value. ReadCache fills the cache (or the
// default), SetValue changes it and marks it dirty, WriteCache writes it back. The hive's
// m_bWriteCacheOnDelete chooses the write mode: 1 (write-back) writes dirty values when
// they are destroyed, 0 (write-through) writes each change inside SetValue. A value never
// calls the registry itself; every transfer goes through its hive's path layer.
#ifndef RUZIDE_FRAMEWORK_REGDECLVALUE_H_
#define RUZIDE_FRAMEWORK_REGDECLVALUE_H_

#include "framework/RegDeclObject.h"

class RUZIDE_API CRegDeclValue : public CRegDeclObject {
 public:
  // Constructs the base part only; records nothing.
  CRegDeclValue();
  // Copy the base part, then m_bDirty. A copy is never recorded or bound.
  CRegDeclValue(const CRegDeclValue& other);
  CRegDeclValue& operator=(const CRegDeclValue& other);

  // Appends the node to CRegDeclHive::s_aChildren, then sets the name, m_bInRegistry 0
  // and m_bDirty 0. Every kind's constructor ends with it.
  void Initialize(const char* name);

  // Removes the registry value through the parent (DeleteRegValue). The cache and the
  // dirty flag stay as they are. 0 for a node without a parent.
  int Delete() override;

  int m_bDirty;  // nonzero while the cache holds a change that has not been written
};

class RUZIDE_API CRegDeclInt : public CRegDeclValue {
 public:
  // Cache and default nDefault, clamp bounds nMin and nMax; then Initialize(name).
  CRegDeclInt(const char* name, int nDefault, int nMin, int nMax);
  CRegDeclInt(const CRegDeclInt& other);
  CRegDeclInt& operator=(const CRegDeclInt& other);
  // Writes the cache back first when dirty and the hive is in write-back mode.
  ~CRegDeclInt() override;

  void ReadCache() override;
  void WriteCache(int bForce) override;
  int IsValue() override;
  int IsInt() override;

  operator int();  // NOLINT: the cache, as an int
  // Stores n unless it equals the cache, clamping to [m_nMin, m_nMax] compared unsigned
  // (equal bounds switch the clamp off); marks the value dirty; writes through at once in
  // write-through mode.
  void SetValue(int n);
  int operator=(int n);

  int m_nValue;
  int m_nDefault;
  int m_nMin;
  int m_nMax;
};

class RUZIDE_API CRegDeclString : public CRegDeclValue {
 public:
  // Cache and default pszDefault (null gives the empty text); then Initialize(name).
  CRegDeclString(const char* name, const char* pszDefault);
  CRegDeclString(const CRegDeclString& other);
  CRegDeclString& operator=(const CRegDeclString& other);
  ~CRegDeclString() override;

  void ReadCache() override;
  void WriteCache(int bForce) override;
  int IsValue() override;
  int IsString() override;

  // The cached text; valid until the cache next changes.
  operator char const*();  // NOLINT
  // Stores psz unless it is null or equals the cache ignoring letter case (_mbsicmp);
  // marks the value dirty; writes through at once in write-through mode.
  void SetValue(const char* psz);
  int operator=(const char* psz);
  // Does nothing: a string has nothing below it to mirror.
  void MirrorRegistry();

  CString m_strValue;
  CString m_strDefault;
};

class RUZIDE_API CRegDeclBinary : public CRegDeclValue {
 public:
  // A zeroed buffer of nSize bytes (none for size 0); then Initialize(name).
  CRegDeclBinary(const char* name, int nSize);
  // The copy owns a buffer of its own with the source's bytes.
  CRegDeclBinary(const CRegDeclBinary& other);
  CRegDeclBinary& operator=(const CRegDeclBinary& other);
  ~CRegDeclBinary() override;

  void ReadCache() override;
  void WriteCache(int bForce) override;
  int IsValue() override;
  int IsBinary() override;

  operator unsigned char const*();  // NOLINT: the buffer, null for size 0
  // Copies m_nBufferSize bytes to pOut; nothing when pOut is null or the size is 0.
  void GetValue(unsigned char* pOut);
  // Stores m_nBufferSize bytes from p unless they equal the cache; refused when p or the
  // buffer is null. Marks dirty; writes through at once in write-through mode.
  void SetValue(const unsigned char* p);
  int operator=(const unsigned char* p);
  // Replaces the buffer with one of nSize bytes read from the registry (zero bytes when
  // unreadable, which also marks the value dirty). Same size: nothing. Size 0: no buffer.
  void SetSize(int nSize);

  unsigned char* m_pBuffer;  // owned; null exactly when m_nBufferSize is 0
  int m_nBufferSize;
};

#endif  // RUZIDE_FRAMEWORK_REGDECLVALUE_H_
