// The settings the tool knows: every value of the library's declared trees, each tree a
// schema with a name, found by the framework's tree walk, and their values as text.
#ifndef RUZIDE_TOOLS_RUZIDE_SETTINGCATALOG_H_
#define RUZIDE_TOOLS_RUZIDE_SETTINGCATALOG_H_

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "RuzIde.h"

namespace ruzide {
namespace tool {

// What a schema file adds to a setting of the tree.
struct SchemaNote {
  std::string summary;  // one line, or empty
  int code_page;        // of the strings, unless the value's key holds a LangId
};

struct Schema {
  std::string name;                         // "user", "machine", or an installed schema's
  CRegDeclHive* tree;                       // null when the library did not attach
  std::string file;                         // the schema file the tree was built from, or empty
  std::map<std::string, SchemaNote> notes;  // by setting name in lower case
};

struct Setting {
  const Schema* schema;
  ruzide::decl::ValueInfo info;
  int code_page;  // of the value's strings
  std::string summary;
};

// The schemas, in listing order: the library's own trees, then the installed schema
// files (SchemaFile.h), each built into a tree of its own when first asked for. A schema
// file named like one of the library's trees adds its summaries to it.
const std::vector<Schema>& Schemas();
// "user, machine, ...": every schema's name, for an error message.
std::string SchemaNames();
// The schema called `name`, letter case aside; null when there is none.
const Schema* FindSchema(const std::string& name);
// The values of `schema` in declaration order.
std::vector<Setting> SettingsOf(const Schema& schema);
// Every setting called `name` (letter case of ASCII aside) in every schema; or, for
// "<schema>:<name>", in that schema.
std::vector<Setting> FindSettings(const std::string& name);

// Why the store of `schema`'s tree could not be read or written, so that the library
// read the declared defaults; empty when it could.
std::string StoreProblem(const Schema& schema);
// Writes StoreProblem of each schema that has one on `err`, "ruzide: <schema>: <why>";
// returns 1 (the exit status) when one had, else 0.
int ReportStores(const std::vector<const Schema*>& schemas, FILE* err);

// Where the value that applications read comes from: "default" when the registry holds
// none; for a machine value "machine" or "virtual copy" (MachineSource.h); else "registry".
std::string SourceText(const Setting& s);

// The value's text: a number in decimal, a string in UTF-8, a list's strings joined by
// the two characters \0, a binary value's bytes in hexadecimal.
std::string CachedText(const Setting& s);
std::string DefaultText(const Setting& s);
// "0..2", "-7680..7680"; "none" when unbounded or not a number.
std::string BoundsText(const Setting& s);
// "unsigned", "signed" or "none".
const char* BoundsCompare(const Setting& s);

// The setting as one JSON object (docs/ruzide-tool.md gives the shape).
std::string Json(const Setting& s);
// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_SETTINGCATALOG_H_
