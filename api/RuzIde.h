// RuzIde.h: the one header an application includes to use the RuzIde library.
//
// It declares the declaration framework (the CRegDecl* node classes), the two trees of
// common settings that the library builds when it is loaded (CRDCLg_oRegCmnCUser and
// CRDCLg_oRegCmnLMach) and the eight functions the library exports under plain C names.
//
// The library builds both trees, reading them from the registry, before any of its
// functions can be called, and destroys them when it is unloaded, writing back every
// value that was assigned since. The trees and the language functions keep no locks: an
// application that calls the library from several threads serialises those calls.
#ifndef RUZIDE_API_RUZIDE_H_
#define RUZIDE_API_RUZIDE_H_

#include "framework/RegDeclHive.h"
#include "framework/RegDeclKey.h"
#include "framework/RegDeclObject.h"
#include "framework/RegDeclValue.h"
#include "framework/RegDeclValueEx.h"
#include "framework/RegDeclVerify.h"
#include "framework/RegDeclWalk.h"
#include "framework/RegDeclWatch.h"
#include "framework/RegDeclare.h"
#include "framework/RuzIdeExport.h"
#include "platform/CString.h"
#include "platform/Collections.h"
#include "platform/RegTypes.h"
#include "schema/RegCmnCUser.h"
#include "schema/RegCmnLMach.h"

// The exported functions use the C calling convention: the caller removes the arguments.
#if defined(_WIN32)
#define RUZIDE_CDECL __cdecl
#else
#define RUZIDE_CDECL
#endif

// The functions carry undecorated C names although some take or return a CString: the
// library and its applications are built with the same compiler and the same CString.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

extern "C" {

// ---- The two trees ---------------------------------------------------------------------
// The current-user settings tree, g_oRegCmnCUser, or null before the library has been
// attached. The pointer stays valid until the library is unloaded; never delete it.
RUZIDE_API CRDCLg_oRegCmnCUser* RUZIDE_CDECL GetCmnCUser();
// The local-machine language table, g_oRegCmnLMach, in the same way.
RUZIDE_API CRDCLg_oRegCmnLMach* RUZIDE_CDECL GetCmnLMach();

// ---- Language queries ------------------------------------------------------------------
// They answer from the local-machine tree: slots 1 to N, where N is the cached
// NumLanguages at the time of the call. A slot outside 1 to 7 that a call reaches is
// created as a run-time key under "Languages" and stays until unload, when its values
// are written to the registry. Identifiers are compared as exact numbers, language
// characters as whole strings with case. The fallbacks all name English, slot 2: the
// identifier 1033, the character "B", the slot number 2.

// Appends the identifier of every installed slot, in slot order, to `ids` (which is not
// emptied first). Returns 1.
RUZIDE_API int RUZIDE_CDECL REG_GetInstalledLanguages(CDWordArray& ids);
// The language character of the first installed slot with identifier `id`, else "B".
RUZIDE_API CString RUZIDE_CDECL REG_LangIDToLangChar(int id);
// The number, from 1, of the first installed slot with identifier `id`, else 2.
RUZIDE_API int RUZIDE_CDECL REG_LangIDToIndex(int id);
// The identifier of the first installed slot whose character is exactly `text`, else
// 1033.
RUZIDE_API int RUZIDE_CDECL REG_LangCharToLangID(CString text);
// The description of slot index + 1 (index 0 is slot 1), installed or not: bytes in the
// code page of that language. "B" when the slot has no key.
RUZIDE_API CString RUZIDE_CDECL REG_GetLangString(int index);
// The identifier of slot `number` (from 1), installed or not; 1033 when the slot has no
// key.
RUZIDE_API int RUZIDE_CDECL REG_GetLangId(int number);

}  // extern "C"

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#endif  // RUZIDE_API_RUZIDE_H_
