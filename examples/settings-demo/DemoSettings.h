// The settings of settings-demo, declared with the REGDECL_ macros. A header of its own,
// so that the build can generate the tree's schema for the ruzide tool from it
// (ruzide_add_settings_schema in CMakeLists.txt).
#ifndef SETTINGS_DEMO_DEMOSETTINGS_H_
#define SETTINGS_DEMO_DEMOSETTINGS_H_

#include <RuzIde.h>

// clang-format off
REGDECL_HIVE_BEGIN(g_oDemo, HKEY_CURRENT_USER)
  REGDECL_KEY_BEGIN(App, "Software\\Example\\SettingsDemo")
    REGDECL_INT(Runs, "Runs", 0, 0, 0)  // equal bounds: no clamp
    REGDECL_KEY_BEGIN(Window, "Window")
      REGDECL_SIGNED_INT(Left, "Left", 0, -7680, 7680)  // left of the primary monitor too
      REGDECL_INT(Width, "Width", 640, 320, 7680)
    REGDECL_KEY_END(Window)
    REGDECL_STRING(Title, "Title", "Untitled")
    REGDECL_EXPAND_STRING(Folder, "Folder", "%HOME%\\Documents")
    REGDECL_STRING_LIST(Recent, "Recent")
  REGDECL_KEY_END(App)
REGDECL_HIVE_END(g_oDemo)
// clang-format on

#endif  // SETTINGS_DEMO_DEMOSETTINGS_H_
