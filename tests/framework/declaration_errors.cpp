// Declarations the macros must refuse to compile, one per RUZIDE_CASE, each with the
// message a developer is to see (tests/framework/CMakeLists.txt lists them).
#include "framework/RegDeclare.h"

// clang-format off
REGDECL_HIVE_BEGIN(g_oErrors, HKEY_CURRENT_USER)
#if RUZIDE_CASE == 1  // a signed range written as an unsigned int
  REGDECL_INT(Left, "Left", 0, -7680, 7680)
#elif RUZIDE_CASE == 2
  REGDECL_INT(Width, "Width", 100, 320, 7680)
#elif RUZIDE_CASE == 3
  REGDECL_SIGNED_INT(Left, "Left", 0, 10, -10)
#elif RUZIDE_CASE == 4
  REGDECL_QWORD(Size, "Size", -1, 0, 100)
#elif RUZIDE_CASE == 5
  REGDECL_KEY_BEGIN(Base, "\\Software\\Example")
  REGDECL_KEY_END(Base)
#elif RUZIDE_CASE == 6
  REGDECL_KEY_BEGIN(Base, "")
  REGDECL_KEY_END(Base)
#elif RUZIDE_CASE == 7
  REGDECL_KEY_BEGIN(Base, "Base")
    REGDECL_INT(Width, "Width", 0, 0, 0)
    REGDECL_STRING(WidthText, "WIDTH", "")
  REGDECL_KEY_END(Base)
#elif RUZIDE_CASE == 8
  REGDECL_KEY_BEGIN(Base, "Base")
  REGDECL_KEY_END(Base)
  REGDECL_KEY_BEGIN(Other, "base")
  REGDECL_KEY_END(Other)
#else  // what the cases get wrong, done right: this compiles
  REGDECL_INT(Any, "Any", 5, 0, -1)
  REGDECL_INT(Fixed, "Fixed", 5, 0, 0)
  REGDECL_SIGNED_INT(Left, "Left", -7680, -7680, 7680)
  REGDECL_KEY_BEGIN(Base, "Software\\Example")
    REGDECL_INT(Width, "Width", 0, 0, 0)
    REGDECL_KEY_BEGIN(WidthKey, "Width")  // a key and a value may share a name
    REGDECL_KEY_END(WidthKey)
  REGDECL_KEY_END(Base)
#endif
REGDECL_HIVE_END(g_oErrors)

#if RUZIDE_CASE == 0  // the example at the top of RegDeclare.h, as written there
REGDECL_HIVE_BEGIN(g_oDemo, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(App, "Software\\Example\\Demo")
    REGDECL_KEY_BEGIN(Window, "Window")
      REGDECL_SIGNED_INT(Left, "Left", 0, -7680, 7680)
      REGDECL_INT(Width, "Width", 640, 320, 7680)
    REGDECL_KEY_END(Window)
    REGDECL_STRING(Title, "Title", "Untitled")
    REGDECL_STRING_LIST(Recent, "Recent")
  REGDECL_KEY_END(App)
REGDECL_HIVE_END(g_oDemo)
CRDCLg_oDemo g_oDemo;
#endif
// clang-format on
