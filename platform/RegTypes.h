// The Windows names that RuzIde's public interface uses: the key handle HKEY with the two
// predefined roots a tree can be declared under, DWORD, the element of CDWordArray, and
// HANDLE, the event of a CRegDeclWatch.
//
// On Windows they come from <windows.h>. Elsewhere this header defines them and nothing
// else, so that an application's own names (DELETE, TRUE, ERROR_...) stay its own; the
// rest of the Windows vocabulary the library uses internally is in platform/WinTypes.h.
#ifndef RUZIDE_PLATFORM_REGTYPES_H_
#define RUZIDE_PLATFORM_REGTYPES_H_

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#else

#include <cstdint>

typedef unsigned int DWORD;  // 32 bits, as on Windows
typedef void* HANDLE;        // an event, for CRegDeclWatch

// An opaque handle to an open registry key. The predefined roots are small constants that
// are sign-extended to pointer width, exactly as windows.h defines them.
typedef struct HKEY__* HKEY;

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)(int)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)(int)0x80000002)

#endif  // _WIN32
#endif  // RUZIDE_PLATFORM_REGTYPES_H_
