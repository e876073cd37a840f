// Helpers shared by the translation units that implement CRegDeclKey. Not exported.
#ifndef RUZIDE_FRAMEWORK_KEYINTERNAL_H_
#define RUZIDE_FRAMEWORK_KEYINTERNAL_H_

#include <cstdint>

#include "framework/RegDeclKey.h"

namespace ruzide {
namespace key {

// The key's own path below the hive's root: m_strFullPath, a backslash when that is not
// empty, then m_strName. Empty for a hive.
CString OwnPath(const CRegDeclObject& key);

// Deletes the children `key` created at run time, in creation order, and forgets them.
// A hive does it in its own destructor, so that a dirty value among them still writes
// back through a whole hive.
void DeleteOwned(CRegDeclKey& key);

// Starts loading the first bytes of `p` into the processor's caches and returns at once:
// a hint, nothing is read. The subtree walks use it for the next child while the current
// one makes its registry calls. Past some 100,000 keys the nodes no longer fit the caches,
// and the first touch of each child (its virtual table pointer) was a wait for memory:
// 12 % of a forced WriteCache's time at 100,000 keys.
// Always inlined: GCC takes a call of a function that only prefetches for one without
// effect and drops it.
#if defined(__GNUC__)
#define RUZIDE_PREFETCH_INLINE __attribute__((always_inline)) inline
#else
#define RUZIDE_PREFETCH_INLINE inline
#endif

RUZIDE_PREFETCH_INLINE void Prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Prefetches what a node's own operations read first: its virtual table pointer, paths,
// flags and cache, in its first 192 bytes. Null: nothing.
RUZIDE_PREFETCH_INLINE void PrefetchNode(const CRegDeclObject* node) {
  if (!node) return;
  // As addresses: the lines past a small node's end are only hinted at.
  const uintptr_t at = reinterpret_cast<uintptr_t>(node);
  for (uintptr_t line = 0; line < 192; line += 64)
    Prefetch(reinterpret_cast<const void*>(at + line));
}

// PrefetchNode for element `i` of `children`, when there is one.
RUZIDE_PREFETCH_INLINE void PrefetchChild(const CRegDeclObjectArray& children, INT_PTR i) {
  if (i < children.GetSize()) PrefetchNode(children.GetData()[i]);
}

// `format` formatted printf-style with the single int `n` ("Language%d", 3: "Language3").
CString FormatName(const char* format, int n);

}  // namespace key
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_KEYINTERNAL_H_
