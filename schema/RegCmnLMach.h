// CRDCLg_oRegCmnLMach: the per-machine table of user-interface languages, under
// HKEY_LOCAL_MACHINE\Software\Tessary\Brackenfield\Common\Languages.
//
//   NumLanguages  6  [0, 0xFFFFFFFF]  how many slots, from 1, are installed
//   Language1..7  Description (REG_SZ), FileExtension (REG_SZ, the one-letter language
//                 character), LangId (REG_DWORD, never clamped)
//
// NumLanguages defaults to 6, so slot 7 ("User Defined", no language) counts only when
// the registry says so. Descriptions are bytes in the code page of their language and are
// stored unconverted: Latin-1 for slots 3 and 4, code page 936 for slot 6. They are
// written with hex escapes so that no source or execution character set can alter them.
//
// The layout is persisted state shared by every program of the family. Constructing the
// root binds the tree (31 binds, 9 removals) and reads every value; the library holds the
// one instance, g_oRegCmnLMach, handed out by GetCmnLMach().
#ifndef RUZIDE_SCHEMA_REGCMNLMACH_H_
#define RUZIDE_SCHEMA_REGCMNLMACH_H_

#include "framework/RegDeclare.h"
#include "framework/RuzIdeExport.h"

#pragma push_macro("REGDECL_EXPORT")
#undef REGDECL_EXPORT
#define REGDECL_EXPORT RUZIDE_API

// One language slot: key LanguageN with its description, language character and
// identifier. The seven slots differ only in these defaults. The indentation below
// follows the registry nesting.
// clang-format off
#define RUZIDE_LANGUAGE_SLOT_(N, description, character, lang_id) \
  REGDECL_KEY_BEGIN(Language##N, "Language" #N)                   \
    REGDECL_STRING(Description, "Description", description)       \
    REGDECL_STRING(FileExtension, "FileExtension", character)     \
    REGDECL_INT(LangId, "LangId", lang_id, 0, -1)                 \
  REGDECL_KEY_END(Language##N)

REGDECL_HIVE_BEGIN(g_oRegCmnLMach, HKEY_LOCAL_MACHINE)
  REGDECL_KEY_BEGIN(SWT_BF_CMN, "Software\\Tessary\\Brackenfield\\Common")
    REGDECL_KEY_BEGIN(Languages, "Languages")
      REGDECL_INT(NumLanguages, "NumLanguages", 6, 0, -1)
      RUZIDE_LANGUAGE_SLOT_(1, "Deutsch",            "A", 1031)   // 0x0407 German
      RUZIDE_LANGUAGE_SLOT_(2, "English",            "B", 1033)   // 0x0409 English (US)
      RUZIDE_LANGUAGE_SLOT_(3, "Fran\xE7" "ais",     "C", 1036)   // 0x040C French
      RUZIDE_LANGUAGE_SLOT_(4, "Espa\xF1" "ol",      "D", 1034)   // 0x040A Spanish
      RUZIDE_LANGUAGE_SLOT_(5, "Italiano",           "E", 1040)   // 0x0410 Italian
      RUZIDE_LANGUAGE_SLOT_(6, "\xD6\xD0\xCE\xC4",   "K", 2052)   // 0x0804 Chinese (PRC)
      RUZIDE_LANGUAGE_SLOT_(7, "User Defined",       "X", 0)      // no language
    REGDECL_KEY_END(Languages)
  REGDECL_KEY_END(SWT_BF_CMN)
REGDECL_HIVE_END(g_oRegCmnLMach)
// clang-format on

#undef RUZIDE_LANGUAGE_SLOT_
#pragma pop_macro("REGDECL_EXPORT")

#endif  // RUZIDE_SCHEMA_REGCMNLMACH_H_
