// The six exported language functions: each asks the library's local-machine tree
// through LanguageTable. Before the library is attached the tree pointer is null and each
// gives its fallback.
#include "LanguageTable.h"
#include "LibraryState.h"

namespace {

ruzide::api::LanguageTable Table() { return ruzide::api::LanguageTable(g_pRegCmnLMach); }

}  // namespace

extern "C" {

int RUZIDE_CDECL REG_GetInstalledLanguages(CDWordArray& ids) {
  return Table().InstalledLanguages(ids);
}

CString RUZIDE_CDECL REG_LangIDToLangChar(int id) { return Table().LangIdToLangChar(id); }

int RUZIDE_CDECL REG_LangIDToIndex(int id) { return Table().LangIdToIndex(id); }

int RUZIDE_CDECL REG_LangCharToLangID(CString text) { return Table().LangCharToLangId(text); }

CString RUZIDE_CDECL REG_GetLangString(int index) { return Table().LangString(index); }

int RUZIDE_CDECL REG_GetLangId(int number) { return Table().LangId(number); }

}  // extern "C"
