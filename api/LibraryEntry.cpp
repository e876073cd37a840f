// The library entry and the two tree accessors.
//
// On Windows the loader calls DllMain after the library's static objects are built and
// before they are destroyed. Elsewhere LibraryGlobals.cpp arranges the same two calls
// from the order of its static objects.
#include "LibraryState.h"

CRDCLg_oRegCmnCUser* g_pRegCmnCUser = nullptr;
CRDCLg_oRegCmnLMach* g_pRegCmnLMach = nullptr;

namespace ruzide {
namespace api {

BOOL LibraryEntry(DWORD reason) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_pRegCmnCUser = &g_oRegCmnCUser;
    g_pRegCmnLMach = &g_oRegCmnLMach;
  }
  return TRUE;
}

}  // namespace api
}  // namespace ruzide

#if defined(_WIN32)
// C linkage: the runtime's start-up code looks the entry up by its plain name.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  return ruzide::api::LibraryEntry(reason);
}
#endif

extern "C" {

CRDCLg_oRegCmnCUser* RUZIDE_CDECL GetCmnCUser() { return g_pRegCmnCUser; }
CRDCLg_oRegCmnLMach* RUZIDE_CDECL GetCmnLMach() { return g_pRegCmnLMach; }

}  // extern "C"
