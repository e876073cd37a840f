// Value kinds beyond the three of RegDeclValue.h: a signed-clamping int, a 64-bit int
// (REG_QWORD), a list of strings (REG_MULTI_SZ) and an expandable string
// (REG_EXPAND_SZ).
//
// They follow the same protocol as the first three: ReadCache fills the cache (or the
// default) and makes it clean, SetValue changes it and marks it dirty, WriteCache writes
// it when dirty or forced, and a value still dirty when it is destroyed is written in
// write-back mode; in write-through mode each change is written inside SetValue. Like
// the first three they read a value whatever its registry type.
#ifndef RUZIDE_FRAMEWORK_REGDECLVALUEEX_H_
#define RUZIDE_FRAMEWORK_REGDECLVALUEEX_H_

#include "framework/RegDeclValue.h"

// A REG_DWORD whose bounds compare as signed numbers, so that a range across zero
// (-7680 to 7680) clamps as it reads. It is an int child of its key (IsInt) and keeps
// the base class's own bounds both 0: the key's by-name writes (WriteIntValue) and a
// CRegDeclInt& store unclamped; its own SetValue and assignment clamp.
class RUZIDE_API CRegDeclSignedInt : public CRegDeclInt {
 public:
  // Cache and default nDefault, signed bounds nMin and nMax (equal bounds: no clamp).
  CRegDeclSignedInt(const char* name, int nDefault, int nMin, int nMax);
  CRegDeclSignedInt(const CRegDeclSignedInt& other);
  CRegDeclSignedInt& operator=(const CRegDeclSignedInt& other);
  ~CRegDeclSignedInt() override;

  // Clamps n to [m_nSignedMin, m_nSignedMax] first, then stores it as CRegDeclInt does
  // (nothing when it equals the cache).
  void SetValue(int n);
  int operator=(int n);

  int m_nSignedMin;
  int m_nSignedMax;
};

// A REG_QWORD: a 64-bit int with signed bounds (equal bounds: no clamp). Reads take up
// to 8 bytes, little-endian, as the registry stores them.
class RUZIDE_API CRegDeclQword : public CRegDeclValue {
 public:
  CRegDeclQword(const char* name, long long nDefault, long long nMin, long long nMax);
  CRegDeclQword(const CRegDeclQword& other);
  CRegDeclQword& operator=(const CRegDeclQword& other);
  ~CRegDeclQword() override;

  void ReadCache() override;
  void WriteCache(int bForce) override;
  int IsValue() override;

  operator long long();  // NOLINT: the cache
  // Clamps n, then stores it unless it equals the cache; marks dirty.
  void SetValue(long long n);
  long long operator=(long long n);

  long long m_nValue;
  long long m_nDefault;
  long long m_nMin;
  long long m_nMax;
};

// A REG_MULTI_SZ, read and written whole: each string with its terminating zero, then
// one more zero. An empty string cannot be stored in the list (it would end it), so
// SetValue drops empty entries. The default is the empty list.
class RUZIDE_API CRegDeclStringList : public CRegDeclValue {
 public:
  explicit CRegDeclStringList(const char* name);
  CRegDeclStringList(const CRegDeclStringList& other);
  CRegDeclStringList& operator=(const CRegDeclStringList& other);
  ~CRegDeclStringList() override;

  void ReadCache() override;
  void WriteCache(int bForce) override;
  int IsValue() override;

  // Replaces `out` with a copy of the cached list.
  void GetValue(CStringList& out);
  // Stores `list` (without its empty entries) unless it equals the cache entry by entry,
  // with exact case; marks dirty.
  void SetValue(const CStringList& list);
  int GetCount();

  CStringList m_listValue;
};

// A REG_EXPAND_SZ: kept and written unexpanded, "%TEMP%\\x" stays as typed. Otherwise a
// CRegDeclString (a string child of its key, same change test ignoring letter case).
class RUZIDE_API CRegDeclExpandString : public CRegDeclString {
 public:
  CRegDeclExpandString(const char* name, const char* pszDefault);
  CRegDeclExpandString(const CRegDeclExpandString& other);
  CRegDeclExpandString& operator=(const CRegDeclExpandString& other);
  ~CRegDeclExpandString() override;

  void WriteCache(int bForce) override;

  // The cache with every %NAME% replaced by the environment variable NAME; a name that
  // is not set, and a lone %, stay as they are.
  CString GetExpanded();
};

#endif  // RUZIDE_FRAMEWORK_REGDECLVALUEEX_H_
