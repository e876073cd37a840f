#include "Languages.h"

#include <string>

#include "CodePage.h"
#include "ExitStatus.h"

namespace ruzide {
namespace tool {

namespace {

// The language functions walk every slot up to NumLanguages, creating a key for each
// undeclared one; a table that claims more than this is refused rather than walked.
constexpr int kMaxListedSlots = 1024;

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
  fprintf(out, "Installed languages: %d (NumLanguages %s, HKEY_LOCAL_MACHINE\\%s)\n",
          static_cast<int>(ids.GetSize()),
          languages.m_oNumLanguages.m_bInRegistry ? "from the store" : "by default",
          path.GetString());
  fprintf(out, "%4s  %-15s  %-4s  %s\n", "SLOT", "LANGID", "CHAR", "DESCRIPTION");
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
    fprintf(out, "%4d  %-15s  %-4s  %s\n", slot, shown_id,
            ToUtf8(character, CodePageOf(id)).c_str(), ToUtf8(description, CodePageOf(id)).c_str());
  }
  return kExitOk;
}

}  // namespace tool
}  // namespace ruzide
