// Settings schema files: an application's declared tree, written at build time by the
// generator of ruzide_add_settings_schema and read here, so that the tool can show and
// change the application's settings without linking it. The format is described in
// docs/declaring-settings.md.
#ifndef RUZIDE_TOOLS_RUZIDE_SCHEMAFILE_H_
#define RUZIDE_TOOLS_RUZIDE_SCHEMAFILE_H_

#include <map>
#include <string>
#include <vector>

#include "RuzIde.h"

namespace ruzide {
namespace tool {

struct SchemaValue {
  std::string setting;  // "Window.Width"
  std::string key;      // "HKEY_CURRENT_USER\\Software\\Example\\SettingsDemo\\Window"
  std::string value;    // "Width"
  std::string type;     // "REG_DWORD", ...
  std::string compare;  // "signed" or "unsigned", for numbers
  std::string text_default;
  long long number_default = 0, min = 0, max = 0;
  int code_page = 1252;
  int size = 0;  // of a REG_BINARY
  std::string summary;
};

struct SchemaFile {
  std::string path;
  std::string name;  // "settings-demo"
  HKEY root = nullptr;
  std::string base;  // the key setting names are relative to, below the root
  std::vector<SchemaValue> values;
};

// The folders schemas are looked for in, in order: those of RUZIDE_SCHEMA_PATH
// (separated by ':', on Windows by ';'), then <tool>/../share/ruzide/schemas.
std::vector<std::string> SchemaFolders();

// The schemas of those folders, one per name (letter case aside): a name found in an
// earlier folder hides the same name in a later one. A file that cannot be read is left
// out with a warning on `err`.
std::vector<SchemaFile> FindSchemaFiles(FILE* err);

// Reads the schema in `path`; false, with the reason in `why`, when it is not one.
bool ReadSchemaFile(const std::string& path, SchemaFile* out, std::string* why);

// A tree put together from the schema's values, bound to the registry and read, as the
// application's declaration would build it: the same keys, value classes, defaults and
// bounds, so that assignments clamp and compare exactly as the application's do. Owned
// by the caller, or null with the reason in `why`.
CRegDeclHive* BuildTree(const SchemaFile& schema, std::string* why);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_SCHEMAFILE_H_
