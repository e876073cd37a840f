// A read-only walk over a declared tree: every value of it, in declaration order, with
// what a tool or a test needs to show, check or change it without knowing the tree's
// classes. Works on any tree built with the declaration macros or by hand.
#ifndef RUZIDE_FRAMEWORK_REGDECLWALK_H_
#define RUZIDE_FRAMEWORK_REGDECLWALK_H_

#include "framework/RegDeclHive.h"

namespace ruzide {
namespace decl {

// The class of a value node, and so the SetValue that assigns it as an application does.
enum ValueKind {
  kKindInt,           // CRegDeclInt, REG_DWORD, bounds compared unsigned
  kKindSignedInt,     // CRegDeclSignedInt, REG_DWORD, bounds compared signed
  kKindQword,         // CRegDeclQword, REG_QWORD, bounds compared signed
  kKindString,        // CRegDeclString, REG_SZ
  kKindExpandString,  // CRegDeclExpandString, REG_EXPAND_SZ
  kKindStringList,    // CRegDeclStringList, REG_MULTI_SZ
  kKindBinary,        // CRegDeclBinary, REG_BINARY of m_nBufferSize bytes
};

// One value as the walk sees it. The numbers are set for the three int kinds only: a
// kKindInt's as the unsigned 32-bit numbers its bounds compare as (0 to 4294967295), the
// signed kinds' as signed numbers. strDefault and strValue are set for the two string
// kinds, as the bytes the tree holds. The other kinds' data is read from pValue.
struct ValueInfo {
  CString strSetting;    // the key path below the tree's base, dots for backslashes, a
                         // dot, the value name: "Regional.Date"
  CString strKey;        // the registry key, root named: "HKEY_CURRENT_USER\\Software\\..."
  CString strValueName;  // "Date"
  ValueKind kind;
  const char* pszType;  // "REG_DWORD", "REG_QWORD", "REG_SZ", ...
  int bBounded;         // 1 when the bounds differ, so assignments are clamped
  int bSignedBounds;    // 1 when the bounds compare as signed numbers
  long long nDefault, nMin, nMax, nValue;
  CString strDefault, strValue;
  int bInRegistry;        // the cache was read from the registry, not the declared default
  int bDirty;             // the cache holds a change not yet written
  CRegDeclValue* pValue;  // the node itself, of the class `kind` names
};

// The key path, below the tree's root, that setting names are relative to: the path of
// the hive's only top-level node when that is a key ("Software\\Tessary\\...\\Common"),
// otherwise the empty text (the root itself).
RUZIDE_API CString TreeBase(CRegDeclHive& tree);

// The name of a predefined root, "HKEY_CURRENT_USER"; "HKEY_0x..." for any other handle.
RUZIDE_API CString RootName(HKEY root);

// Calls visit(info, context) for every value below `tree`, depth first in bind order.
// Reads the nodes alone: never touches the registry nor changes a node.
RUZIDE_API void WalkTree(CRegDeclHive& tree, void (*visit)(const ValueInfo& info, void* context),
                         void* context);

}  // namespace decl
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_REGDECLWALK_H_
