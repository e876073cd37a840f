// An application of the RuzIde library: includes RuzIde.h alone, links only the
// library, and prints what it reads from both trees and the language functions.
#include <RuzIde.h>

#include <cstdio>

// Ordinary application names that Windows spells as macros: the header must leave them be.
enum class Method { GET, POST, DELETE };
enum Answer { TRUE_ANSWER, ERROR_SUCCESS, KEY_READ, REG_SZ };

int main() {
  CRDCLg_oRegCmnCUser* cuser = GetCmnCUser();
  CRDCLg_oRegCmnLMach* lmach = GetCmnLMach();
  if (!cuser || !lmach || Method::DELETE == Method::GET || KEY_READ == REG_SZ) return 1;
  CDWordArray ids;
  REG_GetInstalledLanguages(ids);
  const int mnemonic = cuser->m_oSWT_BF_CMN.m_oSettings.m_oCurrentMnemonic;
  const int count = lmach->m_oSWT_BF_CMN.m_oLanguages.m_oNumLanguages;
  printf("installed=%d count=%d first=%s mnemonic=%d\n", static_cast<int>(ids.GetSize()), count,
         static_cast<const char*>(REG_GetLangString(0)), mnemonic);
  return 0;
}
