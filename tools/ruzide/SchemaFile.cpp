#include "SchemaFile.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "AsciiCase.h"
#include "ToolFolder.h"

namespace ruzide {
namespace tool {

namespace {

// The schema's text form back to bytes: \\ is a backslash, \xNN a byte.
bool Unescape(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\\') {
      *out += '\\';
      ++i;
    } else if (i + 3 < text.size() && text[i + 1] == 'x' && isxdigit(text[i + 2] & 0xFF) &&
               isxdigit(text[i + 3] & 0xFF)) {
      *out += static_cast<char>(strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

bool Number(const std::string& text, long long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *out = strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

HKEY RootOf(const std::string& name) {
  if (name == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (name == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  return nullptr;
}

// Sets the field `name` of the [schema] section (`value` null) or of `value`.
bool Field(const std::string& name, const std::string& text, SchemaFile* schema,
           SchemaValue* value) {
  std::string bytes;
  if (!Unescape(text, &bytes)) return false;
  if (!value) {
    if (name == "name") schema->name = bytes;
    if (name == "root") schema->root = RootOf(bytes);
    if (name == "base") schema->base = bytes;
    return name != "root" || schema->root;
  }
  long long n = 0;
  if (name == "key") value->key = bytes;
  if (name == "value") value->value = bytes;
  if (name == "type") value->type = bytes;
  if (name == "compare") value->compare = bytes;
  if (name == "summary") value->summary = bytes;
  if (name == "default") value->text_default = bytes;
  if (name == "min" && !Number(bytes, &value->min)) return false;
  if (name == "max" && !Number(bytes, &value->max)) return false;
  if (name == "code_page" && (!Number(bytes, &n) || n <= 0)) return false;
  if (name == "code_page") value->code_page = static_cast<int>(n);
  if (name == "size" && (!Number(bytes, &n) || n < 0 || n > 65536)) return false;
  if (name == "size") value->size = static_cast<int>(n);
  return true;
}

// The key path of `value` below the schema's base: "" for the base itself.
bool BelowBase(const SchemaFile& schema, const SchemaValue& value, std::string* below) {
  std::string root;
  for (const char* r : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
    if (RootOf(r) == schema.root) root = r;
  }
  std::string path = value.key;
  if (AsciiLower(path.substr(0, root.size())) != AsciiLower(root)) return false;
  path = path.size() > root.size() ? path.substr(root.size() + 1) : "";
  if (schema.base.empty()) {
    *below = path;
    return true;
  }
  if (AsciiLower(path.substr(0, schema.base.size())) != AsciiLower(schema.base)) return false;
  if (path.size() == schema.base.size()) {
    below->clear();
    return true;
  }
  if (path[schema.base.size()] != '\\') return false;
  *below = path.substr(schema.base.size() + 1);
  return true;
}

bool KnownType(const std::string& type) {
  for (const char* t :
       {"REG_DWORD", "REG_QWORD", "REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_BINARY"}) {
    if (type == t) return true;
  }
  return false;
}

// A new node of the class the application declared the value with; null for a type the
// framework has no class for.
CRegDeclValue* NewNode(const SchemaValue& v) {
  const char* name = v.value.c_str();
  const bool is_signed = v.compare == "signed";
  if (v.type == "REG_DWORD" && is_signed) {
    return new CRegDeclSignedInt(name, static_cast<int>(v.number_default), static_cast<int>(v.min),
                                 static_cast<int>(v.max));
  }
  if (v.type == "REG_DWORD") {
    return new CRegDeclInt(name, static_cast<int>(v.number_default), static_cast<int>(v.min),
                           static_cast<int>(v.max));
  }
  if (v.type == "REG_QWORD") return new CRegDeclQword(name, v.number_default, v.min, v.max);
  if (v.type == "REG_SZ") return new CRegDeclString(name, v.text_default.c_str());
  if (v.type == "REG_EXPAND_SZ") return new CRegDeclExpandString(name, v.text_default.c_str());
  if (v.type == "REG_MULTI_SZ") return new CRegDeclStringList(name);
  if (v.type == "REG_BINARY") return new CRegDeclBinary(name, v.size);
  return nullptr;
}

}  // namespace

std::vector<std::string> SchemaFolders() {
#ifdef _WIN32
  const char separator = ';';
#else
  const char separator = ':';
#endif
  std::vector<std::string> folders;
  const char* path = getenv("RUZIDE_SCHEMA_PATH");
  std::string rest = path ? path : "";
  while (!rest.empty()) {
    const size_t at = rest.find(separator);
    if (at != 0) folders.push_back(rest.substr(0, at));
    rest = at == std::string::npos ? "" : rest.substr(at + 1);
  }
  const char s = kPathSeparator;
  folders.push_back(ToolFolder() + s + ".." + s + "share" + s + "ruzide" + s + "schemas");
  return folders;
}

bool ReadSchemaFile(const std::string& path, SchemaFile* out, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "cannot open it";
    return false;
  }
  *out = SchemaFile();
  out->path = path;
  SchemaValue* value = nullptr;
  bool in_schema = false;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::string at = "line " + std::to_string(number) + ": ";
    if (line[0] == '[' && line.back() == ']') {
      const std::string section = line.substr(1, line.size() - 2);
      in_schema = section == "schema" && !value && out->name.empty();
      if (!in_schema) {
        out->values.emplace_back();
        value = &out->values.back();
        if (!Unescape(section, &value->setting)) {
          *why = at + "a bad setting name";
          return false;
        }
      }
      continue;
    }
    // "<field> = <text>", the text taken as it is; an editor may have cut the space
    // after an empty one.
    if (line.size() > 2 && line.compare(line.size() - 2, 2, " =") == 0) line += ' ';
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos || (!in_schema && !value)) {
      *why = at + "expected a [section] or '<field> = <value>'";
      return false;
    }
    const std::string field = line.substr(0, eq);
    const std::string text = line.substr(eq + 3);
    if (!Field(field, text, out, in_schema ? nullptr : value)) {
      *why = at + "a bad " + field;
      return false;
    }
  }
  if (out->name.empty() || !out->root) {
    *why = "no [schema] section with a name and a root";
    return false;
  }
  for (SchemaValue& v : out->values) {
    std::string below;
    const bool number = v.type == "REG_DWORD" || v.type == "REG_QWORD";
    if (number && !v.text_default.empty() && !Number(v.text_default, &v.number_default)) {
      *why = "[" + v.setting + "]: a default that is not a number";
      return false;
    }
    if (v.key.empty()) {
      *why = "[" + v.setting + "] has no key";
      return false;
    }
    if (!BelowBase(*out, v, &below) || !KnownType(v.type)) {
      *why = "[" + v.setting + "]: a key outside the schema's base, or an unknown type";
      return false;
    }
  }
  return true;
}

std::vector<SchemaFile> FindSchemaFiles(FILE* err) {
  namespace fs = std::filesystem;
  std::vector<SchemaFile> found;
  std::set<std::string> names;
  for (const std::string& folder : SchemaFolders()) {
    std::error_code ec;
    std::set<std::string> paths;  // in name order, whatever the folder's
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (entry.path().extension() == ".schema") paths.insert(entry.path().string());
    }
    for (const std::string& path : paths) {
      SchemaFile schema;
      std::string why;
      if (!ReadSchemaFile(path, &schema, &why)) {
        fprintf(err, "ruzide: %s: not a settings schema: %s\n", path.c_str(), why.c_str());
        continue;
      }
      if (names.insert(AsciiLower(schema.name)).second) found.push_back(schema);
    }
  }
  return found;
}

CRegDeclHive* BuildTree(const SchemaFile& schema, std::string* why) {
  // Constructing a hive starts a binding pass; the nodes below are bound one by one as
  // run-time children are, so the pass is closed at once.
  auto* hive = new CRegDeclHive();
  hive->m_hRootKey = schema.root;
  CRegDeclHive::s_aParentStack.SetSize(0);
  CRegDeclHive::s_aChildren.SetSize(0);
  CRegDeclKey* base = schema.base.empty() ? hive : hive->GetChildKey(schema.base.c_str());
  for (const SchemaValue& v : schema.values) {
    std::string below;
    CRegDeclValue* node = BelowBase(schema, v, &below) ? NewNode(v) : nullptr;
    if (!node) {
      *why = "[" + v.setting + "] cannot be built";
      delete hive;
      return nullptr;
    }
    CRegDeclKey* parent = below.empty() ? base : base->GetChildKey(below.c_str());
    parent->BindChild(node, 1);
    node->m_bDirty = 0;  // a run-time child starts dirty; this one holds what was read
  }
  CRegDeclHive::s_aChildren.SetSize(0);
  return hive;
}

}  // namespace tool
}  // namespace ruzide
