#include "Languages.h"

#include <algorithm>
#include <string>
#include <vector>

#include "CodePage.h"
#include "ExitStatus.h"
#include "MachineSource.h"

namespace ruzide {
namespace tool {

namespace {

// The language functions walk every slot up to NumLanguages, creating a key for each
// undeclared one; a table that claims more than this is refused rather than walked.
constexpr int kMaxListedSlots = 1024;

// Where a value of the table comes from: the machine, the user's virtual copy, or the
// default.
std::string Source(CRegDeclObject& value) {
  if (!value.m_bInRegistry) return "default";
  return MachineValueSource(value.m_strFullPath.GetString(), value.m_strName.GetString());
}

// The sources of a slot's values, each named once, joined by "+".
std::string SlotSource(CRegDeclKey& slot) {
  std::string sources;
  for (INT_PTR i = 0; i < slot.m_aChildren.GetSize(); ++i) {
    CRegDeclObject* child = slot.m_aChildren.GetAt(i);
    if (!child->IsValue()) continue;
    const std::string source = Source(*child);
    if (("+" + sources + "+").find("+" + source + "+") == std::string::npos) {
      sources += (sources.empty() ? "" : "+") + source;
    }
  }
  return sources.empty() ? "default" : sources;
}

}  // namespace

int ListLanguages(CRDCLg_oRegCmnLMach& tree, FILE* out, FILE* err) {
  CRDCLg_oRegCmnLMach::CRDCLSWT_BF_CMN::CRDCLLanguages& languages = tree.m_oSWT_BF_CMN.m_oLanguages;
  const int count = languages.m_oNumLanguages;
  if (count > kMaxListedSlots) {
    fprintf(err, "ruzide: NumLanguages is %d; refusing to walk more than %d slots\n", count,
            kMaxListedSlots);
    return kExitFailure;
  }
  // The functions leave run-time values under undeclared slots, which the tree would
  // write to the store when the library unloads. A listing should change nothing, so
  // the tree is switched to writing only what is assigned, at once; nothing is.
  tree.SetWriteCacheOnDelete(0);

  CDWordArray ids;
  REG_GetInstalledLanguages(ids);
  CString path;
  languages.GetFullPath(path);
  const std::string count_source = Source(languages.m_oNumLanguages);
  fprintf(out, "Installed languages: %d (NumLanguages %s, HKEY_LOCAL_MACHINE\\%s)\n",
          static_cast<int>(ids.GetSize()),
          count_source == "default" ? "by default" : ("from the " + count_source).c_str(),
          path.GetString());
  // The source column is as wide as its longest entry.
  std::vector<std::string> sources;
  int width = 12;  // "virtual copy"
  for (INT_PTR i = 0; i < ids.GetSize(); ++i) {
    sources.push_back(
        SlotSource(*languages.GetChildKeyFormName("Language%d", static_cast<int>(i) + 1)));
    width = std::max(width, static_cast<int>(sources.back().size()));
  }
  fprintf(out, "%4s  %-15s  %-4s  %-*s  %s\n", "SLOT", "LANGID", "CHAR", width, "SOURCE",
          "DESCRIPTION");
  for (INT_PTR i = 0; i < ids.GetSize(); ++i) {
    const int id = static_cast<int>(ids.GetAt(i));
    const int slot = static_cast<int>(i) + 1;  // every slot up to N has a key
    // The slot's own character: two slots may share an identifier, and the language
    // function would answer the first one's for both.
    CString character;
    languages.GetChildKeyFormName("Language%d", slot)
        ->ReadStringValue("FileExtension", character, "");
    const CString description = REG_GetLangString(slot - 1);
    char shown_id[32];
    snprintf(shown_id, sizeof shown_id, "%d (0x%04X)", id, static_cast<unsigned int>(id));
    fprintf(out, "%4d  %-15s  %-4s  %-*s  %s\n", slot, shown_id,
            ToUtf8(character, CodePageOf(id)).c_str(), width, sources[i].c_str(),
            ToUtf8(description, CodePageOf(id)).c_str());
  }
  return kExitOk;
}

}  // namespace tool
}  // namespace ruzide
