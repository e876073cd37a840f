// The library's global trees, its accessor pointers and its entry, shared by the
// translation units of api/. Nothing here is exported: applications reach the trees only
// through GetCmnCUser() and GetCmnLMach().
#ifndef RUZIDE_API_LIBRARYSTATE_H_
#define RUZIDE_API_LIBRARYSTATE_H_

#include "RuzIde.h"
#include "platform/WinTypes.h"

// The two trees, defined in LibraryGlobals.cpp after the binding arrays.
extern CRDCLg_oRegCmnCUser g_oRegCmnCUser;
extern CRDCLg_oRegCmnLMach g_oRegCmnLMach;

// What the accessors return: null until the library is attached, then the addresses of
// the trees. Constant-initialised, so they are null before any constructor runs.
extern CRDCLg_oRegCmnCUser* g_pRegCmnCUser;
extern CRDCLg_oRegCmnLMach* g_pRegCmnLMach;

namespace ruzide {
namespace api {

// The library entry for `reason` (DLL_PROCESS_ATTACH and the rest): on process attach,
// which must come after both trees are built, points the accessors at the trees; every
// other reason does nothing. The pointers are never cleared. Returns TRUE.
BOOL LibraryEntry(DWORD reason);

}  // namespace api
}  // namespace ruzide

#endif  // RUZIDE_API_LIBRARYSTATE_H_
