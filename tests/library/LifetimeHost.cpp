// Loads a build of libRuzIde with dlopen, as the platform's loader would, and prints one
// "name=value" line for each thing it observes; the lifetime tests read them.
//
//   library_lifetime_host <library> [--dirty]
//
// It reads the trees and the language functions, with --dirty leaves a change in each
// tree for the unload to write back, and unloads the library. A library built with the
// lifetime probe calls RuzIdeProbeLoaded during its static initialisers; the host then
// also reports what the probe saw there and the order in which the trees are destroyed
// ("event=..." lines, printed as they happen).
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "RuzIde.h"

namespace {

void* g_library = nullptr;

typedef void (*ProbeRecord)(const char* event);
typedef void (*ProbeWatch)(ProbeRecord record);
int g_probe_accessors_null = -1;  // -1: no probe
ProbeWatch g_probe_watch = nullptr;

template <class F>
F Symbol(const char* name) {
  return reinterpret_cast<F>(dlsym(g_library, name));
}

void Print(const char* name, long long value) { printf("%s=%lld\n", name, value); }
void Print(const char* name, const char* value) { printf("%s=%s\n", name, value); }

void RecordEvent(const char* event) {
  Print("event", event);
  fflush(stdout);
}

// The binding state after load: both hives listed in order, the local-machine hive the
// current one, both arrays of a binding pass empty.
void ReportBindingState(CRDCLg_oRegCmnCUser* cuser, CRDCLg_oRegCmnLMach* lmach) {
  auto* hives = Symbol<CRegDeclObjectArray*>("_ZN12CRegDeclHive8s_aHivesE");
  auto* children = Symbol<CRegDeclObjectArray*>("_ZN12CRegDeclHive11s_aChildrenE");
  auto* stack = Symbol<CRegDeclObjectArray*>("_ZN12CRegDeclHive14s_aParentStackE");
  auto* current = Symbol<CRegDeclHive**>("_ZN12CRegDeclHive7s_pHiveE");
  if (!hives || !children || !stack || !current) return Print("binding_state", "missing");
  Print("hives", hives->GetSize());
  Print("hive0_is_cuser", hives->GetSize() > 0 && hives->GetAt(0) == cuser);
  Print("hive1_is_lmach", hives->GetSize() > 1 && hives->GetAt(1) == lmach);
  Print("current_hive_is_lmach", *current == lmach);
  Print("children", children->GetSize());
  Print("parent_stack", stack->GetSize());
}

// The language functions against the tree GetCmnLMach returned: a change made to that
// object's caches shows in their answers.
void ReportLanguages(CRDCLg_oRegCmnLMach* lmach) {
  auto get_lang_id = Symbol<int (*)(int)>("REG_GetLangId");
  auto id_to_char = Symbol<CString (*)(int)>("REG_LangIDToLangChar");
  auto id_to_index = Symbol<int (*)(int)>("REG_LangIDToIndex");
  if (!get_lang_id || !id_to_char || !id_to_index) return Print("language_functions", "missing");
  auto& languages = lmach->m_oSWT_BF_CMN.m_oLanguages;
  Print("lang_id_3", get_lang_id(3));
  Print("char_of_0", id_to_char(0));
  languages.m_oNumLanguages.m_nValue = 7;  // the cache alone: nothing to write back
  Print("char_of_0_with_7", id_to_char(0));
  languages.m_oLanguage3.m_oLangId.m_nValue = 4242;
  Print("lang_id_3_changed", get_lang_id(3));
  Print("index_of_4242", id_to_index(4242));
  languages.m_oNumLanguages.m_nValue = 6;
  languages.m_oLanguage3.m_oLangId.m_nValue = 1036;
}

// A run-time slot from the language functions and an assigned current-user value, both
// left for the unload to write.
void LeaveChanges(CRDCLg_oRegCmnCUser* cuser) {
  auto get_lang_id = Symbol<int (*)(int)>("REG_GetLangId");
  if (get_lang_id) Print("lang_id_9", get_lang_id(9));
  auto& date = cuser->m_oSWT_BF_CMN.m_oRegional.m_oDate;
  date.m_nValue = 2;  // as an assignment leaves it, without calling into the library
  date.m_bDirty = 1;
}

bool Load(const char* path) {
  g_library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!g_library) fprintf(stderr, "dlopen: %s\n", dlerror());
  return g_library != nullptr;
}

// Unloads the library; "event=closed" follows whatever its destructors reported.
bool Unload() {
  fflush(stdout);
  if (dlclose(g_library) != 0) {
    fprintf(stderr, "dlclose: %s\n", dlerror());
    return false;
  }
  RecordEvent("closed");
  return true;
}

// The trees as the accessors return them; false unless both are set.
bool Trees(CRDCLg_oRegCmnCUser** cuser, CRDCLg_oRegCmnLMach** lmach) {
  auto get_cuser = Symbol<CRDCLg_oRegCmnCUser* (*)()>("GetCmnCUser");
  auto get_lmach = Symbol<CRDCLg_oRegCmnLMach* (*)()>("GetCmnLMach");
  *cuser = get_cuser ? get_cuser() : nullptr;
  *lmach = get_lmach ? get_lmach() : nullptr;
  Print("cuser", *cuser ? "set" : "null");
  Print("lmach", *lmach ? "set" : "null");
  return *cuser && *lmach;
}

}  // namespace

// Called by the probe from the library's static initialisers.
extern "C" __attribute__((visibility("default"))) void RuzIdeProbeLoaded(int accessors_null,
                                                                         ProbeWatch watch) {
  g_probe_accessors_null = accessors_null;
  g_probe_watch = watch;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: library_lifetime_host <library> [--dirty]\n");
    return 2;
  }
  const bool dirty = argc > 2 && strcmp(argv[2], "--dirty") == 0;
  if (!Load(argv[1])) return 1;
  if (g_probe_accessors_null >= 0) Print("accessors_null_at_start", g_probe_accessors_null);
  CRDCLg_oRegCmnCUser* cuser = nullptr;
  CRDCLg_oRegCmnLMach* lmach = nullptr;
  if (Trees(&cuser, &lmach)) {
    ReportBindingState(cuser, lmach);
    ReportLanguages(lmach);
    if (dirty) LeaveChanges(cuser);
    if (g_probe_watch) g_probe_watch(RecordEvent);
  }
  if (!Unload()) return 1;
  if (dirty) {
    // A second load reads what the first unload wrote.
    if (!Load(argv[1])) return 1;
    if (Trees(&cuser, &lmach))
      Print("reloaded_date", cuser->m_oSWT_BF_CMN.m_oRegional.m_oDate.m_nValue);
    if (!Unload()) return 1;
  }
  return 0;
}
