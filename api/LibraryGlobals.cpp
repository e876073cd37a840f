// The library's objects with static storage, in the one order everything depends on:
//
//   1. CRegDeclHive::s_aHives, s_aParentStack, s_aChildren: both trees bind through them;
//   2. g_oRegCmnCUser: builds the current-user tree and reads it from the registry;
//   3. g_oRegCmnLMach: the same for the local-machine language table.
//
// Objects of one translation unit are constructed in order of definition and destroyed in
// reverse, so at unload the local-machine tree goes first, then the current-user tree
// (each writing back what is dirty), then the arrays. Off Windows the write-back of both
// trees is one store transaction, opened by the entry hook and committed after the last
// tree is gone: a process killed meanwhile leaves each tree all old or all new. This
// file is linked last into the library, so its objects are also the last to be built and
// the first to go.
#include <optional>

#include "LibraryState.h"
#include "framework/registry_calls/Transaction.h"

CRegDeclObjectArray CRegDeclHive::s_aHives;
CRegDeclObjectArray CRegDeclHive::s_aParentStack;
CRegDeclObjectArray CRegDeclHive::s_aChildren;
CRegDeclHive* CRegDeclHive::s_pHive = nullptr;

#if !defined(_WIN32)
namespace {
// Destroyed after both trees.
std::optional<ruzide::store::Transaction> g_oUnloadWriteBack;
}  // namespace
#endif

CRDCLg_oRegCmnCUser g_oRegCmnCUser;
CRDCLg_oRegCmnLMach g_oRegCmnLMach;

#if !defined(_WIN32)
namespace {

// Stands in for the loader's DllMain calls where there is none. Defined after both trees,
// it is constructed once they are complete, the last static object of the library, and
// so attaches; it is destroyed first at unload, while both trees are still whole, and so
// detaches before they go.
class EntryHook {
 public:
  EntryHook() { ruzide::api::LibraryEntry(DLL_PROCESS_ATTACH); }
  ~EntryHook() {
    ruzide::api::LibraryEntry(DLL_PROCESS_DETACH);
    g_oUnloadWriteBack.emplace();
  }
  EntryHook(const EntryHook&) = delete;
  EntryHook& operator=(const EntryHook&) = delete;
};

EntryHook g_oEntryHook;

}  // namespace
#endif
