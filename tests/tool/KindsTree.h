// A tree with a value of every kind, whose schema the build generates for the tool's
// tests (tests/tool/CMakeLists.txt); the tests never link it.
#ifndef RUZIDE_TESTS_TOOL_KINDSTREE_H_
#define RUZIDE_TESTS_TOOL_KINDSTREE_H_

#include "RuzIde.h"

// clang-format off
REGDECL_HIVE_BEGIN(g_oKinds, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(App, "Software\\RuzIdeTest\\Kinds")
    REGDECL_INT(Count, "Count", 5, 1, 10)
    REGDECL_KEY_BEGIN(Window, "Window")
      REGDECL_SIGNED_INT(Left, "Left", 0, -100, 100)
      REGDECL_QWORD(Bytes, "Bytes", 0, -5, 1099511627776)
    REGDECL_KEY_END(Window)
    REGDECL_STRING(Title, "Title", "Caf\xE9")
    REGDECL_EXPAND_STRING(Folder, "Folder", "%HOME%\\x")
    REGDECL_STRING_LIST(Recent, "Recent")
    REGDECL_BINARY(Blob, "Blob", 3)
  REGDECL_KEY_END(App)
REGDECL_HIVE_END(g_oKinds)
// clang-format on

#endif  // RUZIDE_TESTS_TOOL_KINDSTREE_H_
