// Loads a build of the library at run time (dlopen, or LoadLibraryA on Windows), as a
// program's loader would, and prints one "name=value" line for each thing it observes;
// the lifetime tests read them.
//
//   library_lifetime_host <library> [--dirty]
//   library_lifetime_host <library> --write-back <generation> <first slot> <slots>
//
// It reads the language functions, checks that a thread starting
// and ending (on Windows the library's entry sees both) leaves the trees alone, with
// --dirty leaves a change in each tree, then unloads the library ("event=closed"); with
// --dirty it loads it again to read what the unload wrote. A build with the lifetime probe calls
// RuzIdeProbeLoaded from its static initialisers; the host then reports what the probe saw and, as
// they happen, the destruction of the trees ("event=..." lines).
//
// With --write-back it sets every value of both trees that can hold any number to one
// made from <generation>, adds <slots> run-time language slots from <first slot> on, all
// of them dirty, then prints "unloading" and unloads the library, which writes them back:
// a test kills it at some moment after that line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <thread>

#include "RuzIde.h"
#include "tests/library/DynamicLibrary.h"

namespace {

typedef void (*ProbeRecord)(const char* event);
typedef void (*ProbeWatch)(ProbeRecord record);

using ruzide::test::LibraryHandle;

LibraryHandle g_library = nullptr;
ProbeWatch g_probe_watch = nullptr;

template <class F>
F Symbol(const char* name) {
  return reinterpret_cast<F>(ruzide::test::LookUp(g_library, name));
}

void Print(const char* name, long long value) { printf("%s=%lld\n", name, value); }
void Print(const char* name, const char* value) { printf("%s=%s\n", name, value); }

void RecordEvent(const char* event) {
  Print("event", event);
  fflush(stdout);
}

// The functions answer from the very object GetCmnLMach returned: changes made to its
// caches (and nothing else) show in their answers.
void ReportLanguages(CRDCLg_oRegCmnLMach* lmach) {
  auto lang_id = Symbol<int (*)(int)>("REG_GetLangId");
  auto lang_char = Symbol<CString (*)(int)>("REG_LangIDToLangChar");
  if (!lang_id || !lang_char) return;
  auto& languages = lmach->m_oSWT_BF_CMN.m_oLanguages;
  languages.m_oNumLanguages.m_nValue = 7;
  languages.m_oLanguage3.m_oLangId.m_nValue = 4242;
  Print("char_of_0_with_7", lang_char(0));
  Print("lang_id_3_changed", lang_id(3));
  languages.m_oNumLanguages.m_nValue = 6;
  languages.m_oLanguage3.m_oLangId.m_nValue = 1036;
}

bool Load(const char* path) {
  g_library = ruzide::test::OpenLibrary(path);
  return g_library != nullptr;
}

bool Unload() {
  fflush(stdout);
  if (!ruzide::test::CloseLibrary(g_library)) return false;
  RecordEvent("closed");
  return true;
}

// The trees as the accessors return them; false unless both are set.
bool Trees(CRDCLg_oRegCmnCUser** cuser, CRDCLg_oRegCmnLMach** lmach) {
  auto get_cuser = Symbol<CRDCLg_oRegCmnCUser* (*)()>("GetCmnCUser");
  auto get_lmach = Symbol<CRDCLg_oRegCmnLMach* (*)()>("GetCmnLMach");
  *cuser = get_cuser ? get_cuser() : nullptr;
  *lmach = get_lmach ? get_lmach() : nullptr;
  Print("accessors_set", *cuser && *lmach);
  return *cuser && *lmach;
}

// A thread that starts and ends leaves both accessors, and the trees, as they were.
void ReportThreadAttachAndDetach(CRDCLg_oRegCmnCUser* cuser, CRDCLg_oRegCmnLMach* lmach) {
  std::thread([] {}).join();
  auto get_cuser = Symbol<CRDCLg_oRegCmnCUser* (*)()>("GetCmnCUser");
  auto get_lmach = Symbol<CRDCLg_oRegCmnLMach* (*)()>("GetCmnLMach");
  Print("threads_leave_trees",
        get_cuser() == cuser && get_lmach() == lmach && cuser->m_oSWT_BF_CMN.m_pParent == cuser);
}

template <class Value>
void Dirty(Value& value, int number) {
  value.m_nValue = number;
  value.m_bDirty = 1;
}

// Every value of both trees that takes `generation` or a number made from it within its
// bounds, and `slots` run-time slots of the language table.
void DirtyEverything(CRDCLg_oRegCmnCUser* cuser, CRDCLg_oRegCmnLMach* lmach, int generation,
                     int first_slot, int slots) {
  auto& user = cuser->m_oSWT_BF_CMN;
  Dirty(user.m_oLanguages.m_oCurrentLangId, generation);
  Dirty(user.m_oRegional.m_oDate, generation % 3);
  Dirty(user.m_oRegional.m_oTime, generation % 2);
  Dirty(user.m_oRegional.m_oSystem, generation % 2);
  Dirty(user.m_oRegional.m_oDecimal, generation % 2);
  Dirty(user.m_oSettings.m_oCurrentMnemonic, generation % 2);
  auto& table = lmach->m_oSWT_BF_CMN.m_oLanguages;
  for (CRegDeclInt* slot : std::initializer_list<CRegDeclInt*>{
           &table.m_oLanguage1.m_oLangId, &table.m_oLanguage2.m_oLangId,
           &table.m_oLanguage3.m_oLangId, &table.m_oLanguage4.m_oLangId,
           &table.m_oLanguage5.m_oLangId, &table.m_oLanguage6.m_oLangId,
           &table.m_oLanguage7.m_oLangId}) {
    Dirty(*slot, generation);
  }
  auto lang_id = Symbol<int (*)(int)>("REG_GetLangId");
  for (int n = first_slot; n < first_slot + slots; ++n) lang_id(n);  // each one new
}

}  // namespace

// Called by the probe from the library's static initialisers.
#ifdef _WIN32
#define RUZIDE_HOST_EXPORT __declspec(dllexport)
#else
#define RUZIDE_HOST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" RUZIDE_HOST_EXPORT void RuzIdeProbeLoaded(int accessors_null, ProbeWatch watch) {
  Print("accessors_null_at_start", accessors_null);
  g_probe_watch = watch;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const bool dirty = argc > 2 && strcmp(argv[2], "--dirty") == 0;
  CRDCLg_oRegCmnCUser* cuser = nullptr;
  CRDCLg_oRegCmnLMach* lmach = nullptr;
  if (!Load(argv[1])) return 1;
  if (argc == 6 && strcmp(argv[2], "--write-back") == 0) {
    if (!Trees(&cuser, &lmach)) return 1;
    DirtyEverything(cuser, lmach, atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    Print("unloading", 1);
    return Unload() ? 0 : 1;
  }
  if (Trees(&cuser, &lmach)) {
    ReportLanguages(lmach);
    ReportThreadAttachAndDetach(cuser, lmach);
    if (dirty) {
      auto lang_id = Symbol<int (*)(int)>("REG_GetLangId");
      Print("lang_id_9", lang_id(9));  // a run-time slot, left for the unload to write
      cuser->m_oSWT_BF_CMN.m_oRegional.m_oDate.m_nValue = 2;  // as an assignment leaves it
      cuser->m_oSWT_BF_CMN.m_oRegional.m_oDate.m_bDirty = 1;
    }
    if (g_probe_watch) g_probe_watch(RecordEvent);
  }
  if (!Unload()) return 1;
  if (dirty) {
    if (!Load(argv[1]) || !Trees(&cuser, &lmach)) return 1;
    Print("reloaded_date", cuser->m_oSWT_BF_CMN.m_oRegional.m_oDate.m_nValue);
    if (!Unload()) return 1;
  }
  return 0;
}
