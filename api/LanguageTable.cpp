#include "LanguageTable.h"

namespace ruzide {
namespace api {

namespace {

// The fallbacks all name English (United States), slot 2 of the default table.
constexpr int kFallbackLangId = 1033;
constexpr int kFallbackSlot = 2;
constexpr const char kFallbackText[] = "B";

// A slot's identifier: its "LangId", or for a run-time slot a run-time value that
// defaults to 1033.
int SlotLangId(CRegDeclKey* slot) { return slot->ReadIntValue("LangId", kFallbackLangId); }

// Reads the slot's string value `name` into `out`; a run-time value defaults to "".
void ReadSlotString(CRegDeclKey* slot, const char* name, CString& out) {
  slot->ReadStringValue(name, out, "");
}

}  // namespace

LanguageTable::LanguageTable(CRDCLg_oRegCmnLMach* tree) : tree_(tree) {}

int LanguageTable::Installed() {
  return tree_ ? static_cast<int>(tree_->m_oSWT_BF_CMN.m_oLanguages.m_oNumLanguages) : 0;
}

CRegDeclKey* LanguageTable::Slot(int n) {
  if (!tree_) return nullptr;
  return tree_->m_oSWT_BF_CMN.m_oLanguages.GetChildKeyFormName("Language%d", n);
}

int LanguageTable::FindSlot(int id) {
  const int installed = Installed();
  for (int n = 1; n <= installed; ++n) {
    CRegDeclKey* slot = Slot(n);
    if (slot && SlotLangId(slot) == id) return n;
  }
  return 0;
}

int LanguageTable::InstalledLanguages(CDWordArray& ids) {
  const int installed = Installed();
  for (int n = 1; n <= installed; ++n) {
    CRegDeclKey* slot = Slot(n);
    if (slot) ids.SetAtGrow(ids.GetSize(), static_cast<DWORD>(SlotLangId(slot)));
  }
  return 1;
}

CString LanguageTable::LangIdToLangChar(int id) {
  CString result(kFallbackText);
  const int n = FindSlot(id);
  if (n != 0) ReadSlotString(Slot(n), "FileExtension", result);
  return result;
}

int LanguageTable::LangIdToIndex(int id) {
  const int n = FindSlot(id);
  return n != 0 ? n : kFallbackSlot;
}

int LanguageTable::LangCharToLangId(const char* text) {
  const unsigned char* wanted = reinterpret_cast<const unsigned char*>(text ? text : "");
  const int installed = Installed();
  for (int n = 1; n <= installed; ++n) {
    CRegDeclKey* slot = Slot(n);
    if (!slot) continue;
    CString character;
    ReadSlotString(slot, "FileExtension", character);
    if (_mbscmp(reinterpret_cast<const unsigned char*>(character.GetString()), wanted) == 0) {
      return SlotLangId(slot);
    }
  }
  return kFallbackLangId;
}

CString LanguageTable::LangString(int index) {
  CString result(kFallbackText);
  // Index 0 is slot 1; the slot need not be installed. The largest index wraps round
  // instead of overflowing.
  const int number = static_cast<int>(static_cast<unsigned int>(index) + 1u);
  if (CRegDeclKey* slot = Slot(number)) ReadSlotString(slot, "Description", result);
  return result;
}

int LanguageTable::LangId(int number) {
  CRegDeclKey* slot = Slot(number);
  return slot ? SlotLangId(slot) : kFallbackLangId;
}

}  // namespace api
}  // namespace ruzide
