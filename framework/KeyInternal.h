// Helpers shared by the translation units that implement CRegDeclKey. Not exported.
#ifndef RUZIDE_FRAMEWORK_KEYINTERNAL_H_
#define RUZIDE_FRAMEWORK_KEYINTERNAL_H_

#include <algorithm>
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
// a hint, nothing is read. The subtree walks use it for the children ahead while the
// current one makes its registry calls (PrefetchWalk). Past some 100,000 keys the nodes
// no longer fit the caches, and the first touch of each child (its virtual table
// pointer) was a wait for memory: 12 % of a forced WriteCache's time at 100,000 keys.
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

// How many children of a key PrefetchWalk loads before the walk enters it: all of a
// leaf's values, and the first steps of a larger key's walk.
constexpr INT_PTR kChildrenFetchedAhead = 4;

// `node` as a key, or null when it is none.
RUZIDE_PREFETCH_INLINE CRegDeclKey* AsKey(CRegDeclObject* node) {
  return node && node->IsKey() ? static_cast<CRegDeclKey*>(node) : nullptr;
}

// For a walk over `children` about to visit element `i`: starts loading what later visits
// read first. Each load waits on the one before it (a key's node holds where its list of
// children is, the list where they are), and reading a node not yet loaded would wait
// for memory, so each goes one visit, one registry call or more, after the load it needs:
//  - the node of element i + 3;
//  - when element i + 2 is a key, its list of children (its node came a visit ago);
//  - when element i + 1 is a key, its first kChildrenFetchedAhead children's nodes (its
//    list came a visit ago).
// A walk entering a key then finds its list and first children loaded, and its own calls
// keep the next nodes coming. Past some 100,000 keys the nodes no longer fit the caches,
// and without the list and the first children a million-key DeleteRegKey waited for
// memory a tenth of its time.
RUZIDE_PREFETCH_INLINE void PrefetchWalk(const CRegDeclObjectArray& children, INT_PTR i) {
  const INT_PTR count = children.GetSize();
  CRegDeclObject* const* at = children.GetData();
  if (i + 3 < count) PrefetchNode(at[i + 3]);
  if (i + 2 < count) {
    if (const CRegDeclKey* key = AsKey(at[i + 2]); key && key->m_aChildren.GetSize() > 0) {
      Prefetch(key->m_aChildren.GetData());
    }
  }
  if (i + 1 < count) {
    if (const CRegDeclKey* key = AsKey(at[i + 1])) {
      const INT_PTR first = std::min(key->m_aChildren.GetSize(), kChildrenFetchedAhead);
      for (INT_PTR j = 0; j < first; ++j) PrefetchNode(key->m_aChildren.GetData()[j]);
    }
  }
}

// `format` formatted printf-style with the single int `n` ("Language%d", 3: "Language3").
CString FormatName(const char* format, int n);

}  // namespace key
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_KEYINTERNAL_H_
