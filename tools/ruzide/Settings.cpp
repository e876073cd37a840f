#include "Settings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CodePage.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "Number.h"
#include "RegKey.h"
#include "SettingCatalog.h"
#include "SettingsCommandLine.h"

namespace ruzide {
namespace tool {

namespace {

int Usage(FILE* err, const std::string& what) {
  fprintf(err, "ruzide: %s\nTry 'ruzide settings --help'.\n", what.c_str());
  return kExitUsage;
}

// The one setting called `name`, or null after an error on `err`.
const Setting* Find(const std::string& name, std::vector<Setting>* found, FILE* err) {
  *found = FindSettings(name);
  if (found->empty()) {
    fprintf(err, "ruzide: no setting named '%s'\nTry 'ruzide settings list'.\n", name.c_str());
    return nullptr;
  }
  if (found->size() > 1) {
    fprintf(err, "ruzide: '%s' names a setting of more than one schema; write <schema>:%s\n",
            name.c_str(), name.c_str());
    return nullptr;
  }
  return &found->front();
}

int List(const std::vector<std::string>& args, bool json, FILE* out, FILE* err) {
  std::vector<const Schema*> schemas;
  if (args.size() == 2) {
    const Schema* schema = FindSchema(args[1]);
    if (!schema)
      return Usage(err, "no schema named '" + args[1] + "' (the schemas: " + SchemaNames() + ")");
    schemas.push_back(schema);
  } else {
    for (const Schema& s : Schemas()) schemas.push_back(&s);
  }
  std::vector<Setting> settings;
  for (const Schema* schema : schemas) {
    const std::vector<Setting> more = SettingsOf(*schema);
    settings.insert(settings.end(), more.begin(), more.end());
  }
  if (json) {
    fprintf(out, "[");
    for (size_t i = 0; i < settings.size(); ++i) {
      fprintf(out, "%s\n%s", i ? "," : "", Json(settings[i]).c_str());
    }
    fprintf(out, "\n]\n");
    return ReportStores(schemas, err);
  }
  std::vector<std::vector<std::string>> rows = {
      {"SCHEMA", "SETTING", "TYPE", "VALUE", "SOURCE", "BOUNDS", "KEY"}};
  for (const Setting& s : settings) {
    rows.push_back({s.schema->name.c_str(), s.info.strSetting.GetString(), s.info.pszType,
                    CachedText(s), SourceText(s), BoundsText(s), s.info.strKey.GetString()});
  }
  std::vector<size_t> width(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], DisplayWidth(row[c]));
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(width[c] - DisplayWidth(row[c]) + 2, ' ');
    }
    fprintf(out, "%s\n", line.c_str());
  }
  return ReportStores(schemas, err);
}

int Get(const std::vector<std::string>& args, bool json, FILE* out, FILE* err) {
  std::vector<Setting> found;
  const Setting* s = Find(args[1], &found, err);
  if (!s) return kExitUsage;
  fprintf(out, "%s\n", json ? Json(*s).c_str() : CachedText(*s).c_str());
  return ReportStores({s->schema}, err);
}

int Describe(const std::vector<std::string>& args, bool json, FILE* out, FILE* err) {
  std::vector<Setting> found;
  const Setting* s = Find(args[1], &found, err);
  if (!s) return kExitUsage;
  if (json) {
    fprintf(out, "%s\n", Json(*s).c_str());
  } else {
    const auto& v = s->info;
    fprintf(out,
            "%s\n  schema:   %s\n  type:     %s\n  default:  %s\n  bounds:   %s%s%s\n"
            "%s%s%s  key:      %s\n  value:    %s\n  current:  %s (%s)\n",
            v.strSetting.GetString(), s->schema->name.c_str(), v.pszType, DefaultText(*s).c_str(),
            BoundsText(*s).c_str(), v.bBounded ? ", compared " : "",
            v.bBounded ? BoundsCompare(*s) : "",
            s->summary.empty() ? "" : "  summary:  ", s->summary.c_str(),
            s->summary.empty() ? "" : "\n", v.strKey.GetString(), v.strValueName.GetString(),
            CachedText(*s).c_str(), SourceText(*s).c_str());
  }
  return ReportStores({s->schema}, err);
}

// `text` split at each of the two characters \0.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at; (at = text.find("\\0", start)) != std::string::npos; start = at + 2) {
    out.push_back(text.substr(start, at - start));
  }
  out.push_back(text.substr(start));
  return out;
}

bool ParseHex(const std::string& text, std::string* bytes) {
  if (text.size() % 2) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    uint64_t byte = 0;
    if (!ParseNumber(("0x" + text.substr(i, 2)).c_str(), 8, &byte)) return false;
    bytes->push_back(static_cast<char>(byte));
  }
  return true;
}

// Assigns `text` to the setting through the class its kind names, so that the value is
// clamped (numbers) or compared (strings) exactly as an application's assignment does.
// Returns an error for a value of the wrong kind, having assigned nothing. A number asked
// for goes to `asked` as the walk shows numbers of that kind.
std::string Assign(const Setting& s, const std::string& text, long long* asked) {
  CRegDeclValue* node = s.info.pValue;
  uint64_t bits = 0;
  switch (s.info.kind) {
    case ruzide::decl::kKindInt:
    case ruzide::decl::kKindSignedInt:
      if (!ParseNumber(text.c_str(), 32, &bits))
        return "'" + text + "' is not a number (decimal, or hexadecimal with 0x, 32 bits)";
      if (s.info.kind == ruzide::decl::kKindInt) {
        *asked = static_cast<uint32_t>(bits);
        static_cast<CRegDeclInt*>(node)->SetValue(static_cast<int>(static_cast<uint32_t>(bits)));
      } else {
        *asked = static_cast<int32_t>(static_cast<uint32_t>(bits));
        static_cast<CRegDeclSignedInt*>(node)->SetValue(static_cast<int>(*asked));
      }
      return "";
    case ruzide::decl::kKindQword:
      if (!ParseNumber(text.c_str(), 64, &bits))
        return "'" + text + "' is not a number (decimal, or hexadecimal with 0x, 64 bits)";
      *asked = static_cast<long long>(bits);
      static_cast<CRegDeclQword*>(node)->SetValue(*asked);
      return "";
    case ruzide::decl::kKindString:
    case ruzide::decl::kKindExpandString: {
      std::string bytes;
      if (!FromUtf8(text, s.code_page, &bytes) || bytes.find('\0') != std::string::npos)
        return "'" + text + "' cannot be written in code page " + std::to_string(s.code_page);
      static_cast<CRegDeclString*>(node)->SetValue(bytes.c_str());
      return "";
    }
    case ruzide::decl::kKindStringList: {
      CStringList list;
      for (const std::string& entry : SplitList(text)) {
        std::string bytes;
        if (!FromUtf8(entry, s.code_page, &bytes))
          return "'" + text + "' cannot be written in code page " + std::to_string(s.code_page);
        if (!bytes.empty()) list.AddTail(bytes.c_str());
      }
      static_cast<CRegDeclStringList*>(node)->SetValue(list);
      return "";
    }
    case ruzide::decl::kKindBinary: {
      auto* binary = static_cast<CRegDeclBinary*>(node);
      std::string bytes;
      if (!ParseHex(text, &bytes) || static_cast<int>(bytes.size()) != binary->m_nBufferSize) {
        return "'" + text + "' is not " + std::to_string(binary->m_nBufferSize) +
               " bytes in hexadecimal";
      }
      if (binary->m_nBufferSize)
        binary->SetValue(reinterpret_cast<const unsigned char*>(bytes.data()));
      return "";
    }
  }
  return "unknown kind";
}

// The setting as the registry now holds it, read again through the library.
Setting Reread(const Setting& s) {
  s.info.pValue->ReadCache();
  for (const Setting& again : SettingsOf(*s.schema)) {
    if (again.info.pValue == s.info.pValue) return again;
  }
  return s;
}

int Set(const std::vector<std::string>& args, FILE* out, FILE* err) {
  std::vector<Setting> found;
  const Setting* s = Find(args[1], &found, err);
  if (!s) return kExitUsage;
  long long asked = 0;
  const std::string refused = Assign(*s, args[2], &asked);
  if (!refused.empty()) {
    fprintf(err, "ruzide: %s: %s\n", s->info.strSetting.GetString(), refused.c_str());
    return kExitUsage;
  }
  // Written now rather than when the library unloads, so that a refused write can still
  // be reported; the value is read back, so nothing is left dirty for the unload.
  s->info.pValue->WriteCache(1);
  const bool written = s->info.pValue->m_bInRegistry != 0;
  const Setting stored = Reread(*s);
  if (!written || !stored.info.bInRegistry) {
    fprintf(err, "ruzide: could not write %s to %s: %s\n", s->info.strSetting.GetString(),
            s->info.strKey.GetString(), StoreProblem(*s->schema).c_str());
    return kExitFailure;
  }
  const std::string value = CachedText(stored);
  fprintf(out, "%s = %s", stored.info.strSetting.GetString(), value.c_str());
  const bool number = s->info.kind == ruzide::decl::kKindInt ||
                      s->info.kind == ruzide::decl::kKindSignedInt ||
                      s->info.kind == ruzide::decl::kKindQword;
  if (number && stored.info.nValue != asked) {
    fprintf(out, " (%s clamped to %s)", args[2].c_str(), BoundsText(stored).c_str());
  } else if ((s->info.kind == ruzide::decl::kKindString ||
              s->info.kind == ruzide::decl::kKindExpandString) &&
             value != args[2]) {
    fprintf(out, " (kept: a string's change test ignores letter case)");
  }
  fprintf(out, "\n");
  return kExitOk;
}

// Deletes the stored value so the default applies; "" or why it could not.
std::string ResetOne(const Setting& s) {
  s.info.pValue->Delete();
  // Whether the value is gone is asked of the registry: Delete cannot tell a value that
  // was never stored from one it could not delete.
  HKEY key = nullptr;
  const CString path = s.info.pValue->m_strFullPath;
  LONG rc = RegOpenKeyExA(s.schema->tree->m_hRootKey, path, 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegQueryValueExA(key, s.info.strValueName, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS) return "the value is still stored: " + StoreProblem(*s.schema);
  }
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return ErrorText(rc);
  Reread(s);
  return "";
}

int Reset(const std::vector<std::string>& args, FILE* out, FILE* err) {
  std::vector<Setting> targets;
  if (args.size() == 3 && args[1] == "--all") {
    const Schema* schema = FindSchema(args[2]);
    if (!schema)
      return Usage(err, "no schema named '" + args[2] + "' (the schemas: " + SchemaNames() + ")");
    targets = SettingsOf(*schema);
  } else {
    std::vector<Setting> found;
    if (!Find(args[1], &found, err)) return kExitUsage;
    targets.push_back(found.front());
  }
  for (const Setting& s : targets) {
    const std::string problem = ResetOne(s);
    if (!problem.empty()) {
      fprintf(err, "ruzide: could not reset %s: %s\n", s.info.strSetting.GetString(),
              problem.c_str());
      return kExitFailure;
    }
    fprintf(out, "%s = %s (default)\n", s.info.strSetting.GetString(), DefaultText(s).c_str());
  }
  return kExitOk;
}

// Prints "<name>: old -> new" for each value whose cache Apply changes.
class Monitor : public CRegDeclWatch {
 public:
  Monitor(const Schema& schema, FILE* out) : CRegDeclWatch(*schema.tree), out_(out) {
    for (const Setting& s : SettingsOf(schema)) {
      names_.emplace_back(s.info.pValue, s.info.strSetting.GetString());
    }
  }
  void OnChange(CRegDeclValue& value, const char* pszOld, const char* pszNew) override {
    for (const auto& [node, name] : names_) {
      if (node != &value) continue;
      fprintf(out_, "%s: %s -> %s\n", name.c_str(), pszOld, pszNew);
      fflush(out_);
    }
  }

 private:
  FILE* out_;
  std::vector<std::pair<const CRegDeclValue*, std::string>> names_;
};

int MonitorSchema(const std::vector<std::string>& args, FILE* out, FILE* err) {
  const std::string name = args.size() == 2 ? args[1] : "user";
  const Schema* schema = FindSchema(name);
  if (!schema)
    return Usage(err, "no schema named '" + name + "' (the schemas: " + SchemaNames() + ")");
  Monitor monitor(*schema, out);
  if (!monitor.IsValid()) {
    fprintf(err, "ruzide: cannot watch the keys of schema '%s' in the store\n",
            schema->name.c_str());
    return kExitFailure;
  }
  ExitOnInterrupt();
  for (;;) {
    if (monitor.Wait(0xFFFFFFFF)) monitor.Apply();
  }
}

}  // namespace

int SettingsCommand(const std::vector<std::string>& all, FILE* out, FILE* err) {
  SettingsCommandLine line;
  const std::string error = ParseSettingsCommandLine(all, &line);
  if (!error.empty()) return Usage(err, error);
  if (line.help) {
    fputs(kSettingsUsage, out);
    return kExitOk;
  }
  const std::vector<std::string>& args = line.args;
  const std::string& verb = args[0];
  if (verb == "list") return List(args, line.json, out, err);
  if (verb == "get") return Get(args, line.json, out, err);
  if (verb == "describe") return Describe(args, line.json, out, err);
  if (verb == "set") return Set(args, out, err);
  if (verb == "reset") return Reset(args, out, err);
  return MonitorSchema(args, out, err);
}

}  // namespace tool
}  // namespace ruzide
