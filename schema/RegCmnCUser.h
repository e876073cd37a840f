// CRDCLg_oRegCmnCUser: the per-user settings every application of the family shares,
// under HKEY_CURRENT_USER\Software\Tessary\Brackenfield\Common.
//
//   Languages\CurrentLangId   1033  [0, 0xFFFFFFFF]  the user-interface language (LANGID)
//   Regional\Date             0     [0, 2]
//   Regional\Time             0     [0, 1]
//   Regional\System           0     [0, 1]
//   Regional\Decimal          0     [0, 1]
//   Settings\CurrentMnemonic  1     [0, 1]
//
// Every value is a REG_DWORD. The layout is persisted state shared by every program of
// the family: names, nesting, order, defaults and bounds never change. Constructing the
// root binds the tree (ten binds, four removals) and reads every value; the library holds
// the one instance, g_oRegCmnCUser, handed out by GetCmnCUser().
#ifndef RUZIDE_SCHEMA_REGCMNCUSER_H_
#define RUZIDE_SCHEMA_REGCMNCUSER_H_

#include "framework/RegDeclare.h"
#include "framework/RuzIdeExport.h"

// The generated classes are part of the library's interface whatever the includer has
// chosen for its own declarations.
#pragma push_macro("REGDECL_EXPORT")
#undef REGDECL_EXPORT
#define REGDECL_EXPORT RUZIDE_API

// The indentation follows the registry nesting.
// clang-format off
REGDECL_HIVE_BEGIN(g_oRegCmnCUser, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(SWT_BF_CMN, "Software\\Tessary\\Brackenfield\\Common")
    REGDECL_KEY_BEGIN(Languages, "Languages")
      REGDECL_INT(CurrentLangId, "CurrentLangId", 1033, 0, -1)
    REGDECL_KEY_END(Languages)
    REGDECL_KEY_BEGIN(Regional, "Regional")
      REGDECL_INT(Date, "Date", 0, 0, 2)
      REGDECL_INT(Time, "Time", 0, 0, 1)
      REGDECL_INT(System, "System", 0, 0, 1)
      REGDECL_INT(Decimal, "Decimal", 0, 0, 1)
    REGDECL_KEY_END(Regional)
    REGDECL_KEY_BEGIN(Settings, "Settings")
      REGDECL_INT(CurrentMnemonic, "CurrentMnemonic", 1, 0, 1)
    REGDECL_KEY_END(Settings)
  REGDECL_KEY_END(SWT_BF_CMN)
REGDECL_HIVE_END(g_oRegCmnCUser)
// clang-format on

#pragma pop_macro("REGDECL_EXPORT")

#endif  // RUZIDE_SCHEMA_REGCMNCUSER_H_
