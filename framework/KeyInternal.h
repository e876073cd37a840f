// Helpers shared by the translation units that implement CRegDeclKey. Not exported.
#ifndef RUZIDE_FRAMEWORK_KEYINTERNAL_H_
#define RUZIDE_FRAMEWORK_KEYINTERNAL_H_

#include "framework/RegDeclKey.h"

namespace ruzide {
namespace key {

// The key's own path below the hive's root: m_strFullPath, a backslash when that is not
// empty, then m_strName. Empty for a hive.
CString OwnPath(const CRegDeclObject& key);

// Deletes the children the key created at run time, in creation order, and empties
// m_listOwned.
void DeleteOwnedChildren(CRegDeclKey& key);

// `format` formatted printf-style with the single int `n` ("Language%d", 3: "Language3").
CString FormatName(const char* format, int n);

}  // namespace key
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_KEYINTERNAL_H_
