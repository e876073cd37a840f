// LanguageTable: the answers of the six language functions, computed on one
// local-machine tree.
//
// The exported REG_ functions hand it the library's own tree; tests hand it a tree of
// their own. A null tree behaves as a table without slots, so every answer is its
// fallback (the identifier 1033, the character "B", the slot number 2).
//
// Slot n is the child key "Language<n>" of the tree's "Languages" key. Slots 1 to 7 are
// declared; any other slot a question reaches is created as a run-time key, with run-time
// values under it, and is left in the tree (the tree writes them back when destroyed).
#ifndef RUZIDE_API_LANGUAGETABLE_H_
#define RUZIDE_API_LANGUAGETABLE_H_

#include "RuzIde.h"

namespace ruzide {
namespace api {

class LanguageTable {
 public:
  explicit LanguageTable(CRDCLg_oRegCmnLMach* tree);

  // Appends the identifier of each installed slot (1 to N) to `ids`; returns 1.
  int InstalledLanguages(CDWordArray& ids);
  // The "FileExtension" of the first installed slot with identifier `id`, else "B".
  CString LangIdToLangChar(int id);
  // The first installed slot number with identifier `id`, else 2.
  int LangIdToIndex(int id);
  // The identifier of the first installed slot whose "FileExtension" equals `text`
  // byte for byte (_mbscmp), else 1033.
  int LangCharToLangId(const char* text);
  // The "Description" of slot index + 1, with no check against N; "B" without a key.
  CString LangString(int index);
  // The identifier of slot `number`, with no check against N; 1033 without a key.
  int LangId(int number);

 private:
  // N: the cached "NumLanguages", read at each question; 0 without a tree.
  int Installed();
  // The key of slot n, created at run time when n is not declared; null without a tree.
  CRegDeclKey* Slot(int n);
  // The first installed slot with identifier `id`, or 0.
  int FindSlot(int id);

  CRDCLg_oRegCmnLMach* tree_;
};

}  // namespace api
}  // namespace ruzide

#endif  // RUZIDE_API_LANGUAGETABLE_H_
