// Declared trees used by the framework tests.
#ifndef RUZIDE_TESTS_FRAMEWORK_TESTTREES_H_
#define RUZIDE_TESTS_FRAMEWORK_TESTTREES_H_

#include "framework/RegDeclare.h"

// Display (Width, Height), Paths (Recent (Count)) and Mode, directly below the root.
REGDECL_HIVE_BEGIN(g_oDisplay, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(Display, "Display")
    REGDECL_INT(Width, "Width", 640, 0, 0)
    REGDECL_INT(Height, "Height", 480, 0, 0)
  REGDECL_KEY_END(Display)
  REGDECL_KEY_BEGIN(Paths, "Paths")
    REGDECL_KEY_BEGIN(Recent, "Recent")
      REGDECL_INT(Count, "Count", 4, 0, 0)
    REGDECL_KEY_END(Recent)
  REGDECL_KEY_END(Paths)
  REGDECL_INT(Mode, "Mode", 1, 0, 0)
REGDECL_HIVE_END(g_oDisplay)

// One key of every value kind under a two-level base key, with an empty key beside it.
REGDECL_HIVE_BEGIN(g_oApp, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(Base, "Software\\Test")
    REGDECL_KEY_BEGIN(Prefs, "Prefs")
      REGDECL_INT(Level, "Level", 0, 0, 2)
      REGDECL_INT(Any, "Any", 1033, 0, -1)
      REGDECL_STRING(Title, "Title", "Untitled")
      REGDECL_BINARY(Blob, "Blob", 4)
    REGDECL_KEY_END(Prefs)
    REGDECL_KEY_BEGIN(Empty, "Empty")
    REGDECL_KEY_END(Empty)
    REGDECL_STRING(Owner, "Owner", nullptr)
  REGDECL_KEY_END(Base)
REGDECL_HIVE_END(g_oApp)
constexpr char kBase[] = "Software\\Test";
constexpr char kPrefs[] = "Software\\Test\\Prefs";

#endif  // RUZIDE_TESTS_FRAMEWORK_TESTTREES_H_
