#include "Settings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Interrupt.h"
#include "Number.h"

namespace ruzide {
namespace tool {

namespace {

// The setting's name as the user writes it: "Regional.Date".
std::string SettingName(CRegDeclObject& value) {
  return std::string(value.m_pParent->m_strName) + "." + value.m_strName.GetString();
}

// One int value of the tree, named as the user writes it: "Regional.Date".
struct Setting {
  std::string name;
  CRegDeclInt* value;
};

// The int values below `key`, depth first in declaration order. The tree is walked
// rather than listed by hand, so the tool always shows exactly what the library declares.
void CollectSettings(CRegDeclKey& key, std::vector<Setting>& out) {
  for (INT_PTR i = 0; i < key.m_aChildren.GetSize(); ++i) {
    CRegDeclObject* child = key.m_aChildren.GetAt(i);
    if (child->IsKey()) {
      CollectSettings(*static_cast<CRegDeclKey*>(child), out);
    } else if (child->IsInt()) {
      out.push_back({SettingName(*child), static_cast<CRegDeclInt*>(child)});
    }
  }
}

std::vector<Setting> Settings(CRDCLg_oRegCmnCUser& tree) {
  std::vector<Setting> settings;
  CollectSettings(tree, settings);
  return settings;
}

// "0..2"; "none" when the bounds are equal, which switches clamping off. Bounds compare
// unsigned, so they are shown unsigned.
std::string Bounds(const CRegDeclInt& value) {
  if (value.m_nMin == value.m_nMax) return "none";
  return std::to_string(static_cast<unsigned int>(value.m_nMin)) + ".." +
         std::to_string(static_cast<unsigned int>(value.m_nMax));
}

std::string KeyPath(const CRegDeclInt& value) {
  return std::string("HKEY_CURRENT_USER\\") + value.m_strFullPath.GetString();
}

// Prints each change Apply finds.
class SettingsMonitor : public CRegDeclWatch {
 public:
  SettingsMonitor(CRegDeclKey& key, FILE* out) : CRegDeclWatch(key), out_(out) {}
  void OnChange(CRegDeclValue& value, const char* pszOld, const char* pszNew) override {
    fprintf(out_, "%s: %s -> %s\n", SettingName(value).c_str(), pszOld, pszNew);
    fflush(out_);
  }

 private:
  FILE* out_;
};

void PrintNames(const std::vector<Setting>& settings, FILE* err) {
  fprintf(err, "The settings are:");
  for (const Setting& s : settings) fprintf(err, " %s", s.name.c_str());
  fprintf(err, "\n");
}

}  // namespace

int ListSettings(CRDCLg_oRegCmnCUser& tree, FILE* out) {
  const std::vector<Setting> settings = Settings(tree);
  size_t name_width = strlen("SETTING");
  for (const Setting& s : settings) name_width = std::max(name_width, s.name.size());
  const int w = static_cast<int>(name_width);
  fprintf(out, "%-*s  %11s  %-7s  %-13s  %s\n", w, "SETTING", "VALUE", "SOURCE", "BOUNDS", "KEY");
  for (const Setting& s : settings) {
    const CRegDeclInt& v = *s.value;
    fprintf(out, "%-*s  %11d  %-7s  %-13s  %s\n", w, s.name.c_str(), v.m_nValue,
            v.m_bInRegistry ? "store" : "default", Bounds(v).c_str(), KeyPath(v).c_str());
  }
  return kExitOk;
}

int SetSetting(CRDCLg_oRegCmnCUser& tree, const char* name, const char* number, FILE* out,
               FILE* err) {
  const std::vector<Setting> settings = Settings(tree);
  const Setting* found = nullptr;
  for (const Setting& s : settings) {
    if (s.name == name) found = &s;
  }
  if (!found) {
    fprintf(err, "ruzide: no setting named '%s'\n", name);
    PrintNames(settings, err);
    return kExitUsage;
  }
  uint64_t bits = 0;
  if (!ParseNumber(number, 32, &bits)) {
    fprintf(err, "ruzide: '%s' is not a number (decimal, or hexadecimal with 0x, 32 bits)\n",
            number);
    return kExitUsage;
  }

  const int asked = static_cast<int>(static_cast<uint32_t>(bits));
  CRegDeclInt& value = *found->value;
  value.SetValue(asked);  // clamps to the bounds, as every application's assignment does
  // Written now rather than when the library unloads, so that a refused write can still
  // be reported; nothing is left dirty for the unload.
  value.WriteCache(1);
  int stored = 0;
  if (!value.m_bInRegistry ||
      !value.GetHive().ReadInt(value.m_strFullPath, value.m_strName, stored, value.m_nDefault)) {
    fprintf(err, "ruzide: could not write %s to the store (%s): read-only or unavailable\n",
            found->name.c_str(), KeyPath(value).c_str());
    return kExitFailure;
  }
  fprintf(out, "%s = %d", found->name.c_str(), stored);
  if (stored != asked) fprintf(out, " (%s clamped to %s)", number, Bounds(value).c_str());
  fprintf(out, "\n");
  return kExitOk;
}

int MonitorSettings(CRDCLg_oRegCmnCUser& tree, FILE* out, FILE* err) {
  SettingsMonitor monitor(tree, out);
  if (!monitor.IsValid()) {
    fprintf(err, "ruzide: cannot watch the settings' keys in the store\n");
    return kExitFailure;
  }
  ExitOnInterrupt();
  for (;;) {
    if (monitor.Wait(INFINITE)) monitor.Apply();
  }
}

}  // namespace tool
}  // namespace ruzide
