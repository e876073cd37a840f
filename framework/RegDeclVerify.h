// Checks of a declared tree for the mistakes that compile but lose data: a root the
// platform does not have, a key named "" or "\\...", two values or two keys of one key
// whose names differ only in ASCII letter case, and bounds that cannot hold (min above
// max, a default outside them). The declaration macros catch at compile time what they
// can see (names and bounds); RegDeclare.h adds the check for hand-written nodes.
#ifndef RUZIDE_FRAMEWORK_REGDECLVERIFY_H_
#define RUZIDE_FRAMEWORK_REGDECLVERIFY_H_

#include "framework/RegDeclHive.h"

namespace ruzide {
namespace decl {

// The problems found in the tree below `tree`, one line each ("Display\\Width: ..."),
// or the empty text. Looks at the nodes alone; never touches the registry.
RUZIDE_API CString VerifyTree(CRegDeclHive& tree);

// ---- Compile-time forms, used by the declaration macros ---------------------------------
// Bounds of a REGDECL_INT compare as the framework clamps: as unsigned 32-bit numbers.
constexpr unsigned AsUnsigned(long long n) { return static_cast<unsigned>(n); }
constexpr bool UnsignedOrdered(long long min, long long max) {
  return min == max || AsUnsigned(min) <= AsUnsigned(max);
}
constexpr bool UnsignedWithin(long long def, long long min, long long max) {
  return min == max || (AsUnsigned(def) >= AsUnsigned(min) && AsUnsigned(def) <= AsUnsigned(max));
}
constexpr bool SignedOrdered(long long min, long long max) { return min <= max; }
constexpr bool SignedWithin(long long def, long long min, long long max) {
  return min == max || (def >= min && def <= max);
}
constexpr bool KeyNameOk(const char* name) { return name && name[0] && name[0] != '\\'; }

}  // namespace decl
}  // namespace ruzide

#endif  // RUZIDE_FRAMEWORK_REGDECLVERIFY_H_
