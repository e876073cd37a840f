#include "SettingCatalog.h"

#include <cstdio>

#include "AsciiCase.h"
#include "CodePage.h"
#include "ExitStatus.h"
#include "MachineSource.h"
#include "RegKey.h"
#include "SchemaFile.h"

namespace ruzide {
namespace tool {

namespace {

bool SameIgnoringAsciiCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// A string is in the schema's code page (1252 for the library's trees) unless its key
// holds an int LangId, as each slot of the language table does: then it is in the code
// page of that language.
int CodePageFor(CRegDeclValue* value, int code_page) {
  if (!value->m_pParent) return code_page;
  CRegDeclObject* lang = value->m_pParent->GetChild("LangId", nullptr);
  if (!lang || !lang->IsInt()) return code_page;
  return CodePageOf(static_cast<CRegDeclInt*>(lang)->m_nValue);
}

void Collect(const ruzide::decl::ValueInfo& info, void* context) {
  auto* out = static_cast<std::vector<ruzide::decl::ValueInfo>*>(context);
  out->push_back(info);
}

std::string Hex(const unsigned char* bytes, int size) {
  std::string out;
  char two[3];
  for (int i = 0; i < size; ++i) {
    snprintf(two, sizeof two, "%02X", bytes[i]);
    out += two;
  }
  return out;
}

std::vector<std::string> ListEntries(const Setting& s) {
  CStringList list;
  static_cast<CRegDeclStringList*>(s.info.pValue)->GetValue(list);
  std::vector<std::string> out;
  for (POSITION p = list.GetHeadPosition(); p;) out.push_back(ToUtf8(list.GetNext(p), s.code_page));
  return out;
}

std::string Joined(const std::vector<std::string>& entries) {
  std::string out;
  for (size_t i = 0; i < entries.size(); ++i) out += (i ? "\\0" : "") + entries[i];
  return out;
}

// The JSON form of a value: a number, a string, or an array of strings.
std::string JsonValue(const Setting& s, bool cached) {
  using ruzide::decl::ValueKind;
  switch (s.info.kind) {
    case ruzide::decl::kKindInt:
    case ruzide::decl::kKindSignedInt:
    case ruzide::decl::kKindQword:
      return std::to_string(cached ? s.info.nValue : s.info.nDefault);
    case ruzide::decl::kKindStringList: {
      if (!cached) return "[]";
      std::string out = "[";
      const std::vector<std::string> entries = ListEntries(s);
      for (size_t i = 0; i < entries.size(); ++i) out += (i ? "," : "") + JsonString(entries[i]);
      return out + "]";
    }
    default:
      return JsonString(cached ? CachedText(s) : DefaultText(s));
  }
}

std::vector<Schema> LoadSchemas() {
  std::vector<Schema> schemas = {{"user", GetCmnCUser(), "", {}},
                                 {"machine", GetCmnLMach(), "", {}}};
  const size_t library_trees = schemas.size();
  for (const SchemaFile& file : FindSchemaFiles(stderr)) {
    std::map<std::string, SchemaNote> notes;
    for (const SchemaValue& v : file.values)
      notes[AsciiLower(v.setting)] = {v.summary, v.code_page};
    bool own = false;
    for (size_t i = 0; i < library_trees; ++i) {
      if (SameIgnoringAsciiCase(file.name, schemas[i].name.c_str())) {
        schemas[i].notes = notes;
        own = true;
      }
    }
    if (own) continue;
    std::string why;
    CRegDeclHive* tree = BuildTree(file, &why);
    if (!tree) {
      fprintf(stderr, "ruzide: %s: %s\n", file.path.c_str(), why.c_str());
      continue;
    }
    schemas.push_back({file.name, tree, file.path, notes});
  }
  return schemas;
}

}  // namespace

// The trees built from schema files live as long as the process; they hold no change
// at exit, since every set and reset writes at once.
const std::vector<Schema>& Schemas() {
  static const std::vector<Schema> schemas = LoadSchemas();
  return schemas;
}

std::string SchemaNames() {
  std::string names;
  for (const Schema& s : Schemas()) names += (names.empty() ? "" : ", ") + s.name;
  return names;
}

const Schema* FindSchema(const std::string& name) {
  for (const Schema& s : Schemas()) {
    if (SameIgnoringAsciiCase(name, s.name.c_str())) return &s;
  }
  return nullptr;
}

std::vector<Setting> SettingsOf(const Schema& schema) {
  std::vector<ruzide::decl::ValueInfo> infos;
  if (schema.tree) ruzide::decl::WalkTree(*schema.tree, Collect, &infos);
  std::vector<Setting> out;
  for (const auto& info : infos) {
    auto note = schema.notes.find(AsciiLower(info.strSetting.GetString()));
    const bool noted = note != schema.notes.end();
    out.push_back({&schema, info, CodePageFor(info.pValue, noted ? note->second.code_page : 1252),
                   noted ? note->second.summary : ""});
  }
  return out;
}

std::vector<Setting> FindSettings(const std::string& name) {
  std::vector<Setting> found;
  for (const Schema& schema : Schemas()) {
    // "<schema>:<name>" picks the schema, where a name alone is found in several.
    const std::string prefix = schema.name + ":";
    const bool qualified = name.size() > prefix.size() &&
                           SameIgnoringAsciiCase(name.substr(0, prefix.size()), prefix.c_str());
    const std::string bare = qualified ? name.substr(prefix.size()) : name;
    for (const Setting& s : SettingsOf(schema)) {
      if (SameIgnoringAsciiCase(bare, s.info.strSetting)) found.push_back(s);
    }
  }
  return found;
}

std::string StoreProblem(const Schema& schema) {
  if (!schema.tree) return "the RuzIde library did not attach";
  HKEY key = nullptr;
  const CString base = ruzide::decl::TreeBase(*schema.tree);
  const std::string where = std::string(ruzide::decl::RootName(schema.tree->m_hRootKey)) +
                            (base.IsEmpty() ? "" : "\\") + base.GetString();
  // The library reads through keys opened for writing: where that open fails, every
  // value it read is the declared default.
  const REGSAM access = KEY_READ | KEY_SET_VALUE;
  LONG rc = RegOpenKeyExA(schema.tree->m_hRootKey, base, 0, access, &key);
  if (rc == ERROR_FILE_NOT_FOUND) {
    // The library would have created the key: the root itself tells why it could not.
    const LONG root_rc = RegOpenKeyExA(schema.tree->m_hRootKey, "", 0, access, &key);
    if (root_rc == ERROR_SUCCESS) RegCloseKey(key);
    if (root_rc != ERROR_SUCCESS) rc = root_rc;
  } else if (rc == ERROR_SUCCESS) {
    RegCloseKey(key);
    return "";
  }
  return where + " could not be opened for writing: " + ErrorText(rc) +
         "; the values shown are the declared defaults";
}

std::string SourceText(const Setting& s) {
  if (!s.info.bInRegistry) return "default";
  if (s.schema->tree->m_hRootKey != HKEY_LOCAL_MACHINE) return "registry";
  const std::string key = s.info.strKey.GetString();
  const size_t slash = key.find('\\');
  return MachineValueSource(slash == std::string::npos ? "" : key.substr(slash + 1),
                            s.info.strValueName.GetString());
}

int ReportStores(const std::vector<const Schema*>& schemas, FILE* err) {
  int status = kExitOk;
  for (const Schema* schema : schemas) {
    const std::string problem = StoreProblem(*schema);
    if (problem.empty()) continue;
    fprintf(err, "ruzide: %s: %s\n", schema->name.c_str(), problem.c_str());
    status = kExitFailure;
  }
  return status;
}

std::string CachedText(const Setting& s) {
  const auto& v = s.info;
  switch (v.kind) {
    case ruzide::decl::kKindString:
    case ruzide::decl::kKindExpandString:
      return ToUtf8(v.strValue, s.code_page);
    case ruzide::decl::kKindStringList:
      return Joined(ListEntries(s));
    case ruzide::decl::kKindBinary: {
      auto* b = static_cast<CRegDeclBinary*>(v.pValue);
      return Hex(b->m_pBuffer, b->m_nBufferSize);
    }
    default:
      return std::to_string(v.nValue);
  }
}

std::string DefaultText(const Setting& s) {
  const auto& v = s.info;
  switch (v.kind) {
    case ruzide::decl::kKindString:
    case ruzide::decl::kKindExpandString:
      return ToUtf8(v.strDefault, s.code_page);
    case ruzide::decl::kKindStringList:
      return "";
    case ruzide::decl::kKindBinary:
      return std::string(
          2 * static_cast<size_t>(static_cast<CRegDeclBinary*>(v.pValue)->m_nBufferSize), '0');
    default:
      return std::to_string(v.nDefault);
  }
}

std::string BoundsText(const Setting& s) {
  if (!s.info.bBounded) return "none";
  return std::to_string(s.info.nMin) + ".." + std::to_string(s.info.nMax);
}

const char* BoundsCompare(const Setting& s) {
  if (!s.info.bBounded) return "none";
  return s.info.bSignedBounds ? "signed" : "unsigned";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Json(const Setting& s) {
  const auto& v = s.info;
  const bool bounded = v.bBounded != 0;
  return std::string("{\"schema\":") + JsonString(s.schema->name) +
         ",\"name\":" + JsonString(v.strSetting.GetString()) +
         ",\"key\":" + JsonString(v.strKey.GetString()) +
         ",\"value_name\":" + JsonString(v.strValueName.GetString()) +
         ",\"type\":" + JsonString(v.pszType) + ",\"default\":" + JsonValue(s, false) +
         ",\"min\":" + (bounded ? std::to_string(v.nMin) : "null") +
         ",\"max\":" + (bounded ? std::to_string(v.nMax) : "null") +
         ",\"bounds\":" + JsonString(BoundsCompare(s)) + ",\"value\":" + JsonValue(s, true) +
         ",\"source\":" + JsonString(SourceText(s)) +
         ",\"dirty\":" + (v.bDirty ? "true" : "false") + ",\"summary\":" + JsonString(s.summary) +
         "}";
}

}  // namespace tool
}  // namespace ruzide
