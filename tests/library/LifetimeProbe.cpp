// The probe of a test variant of libRuzIde. Its objects are linked before the library's,
// so its static object is built before the library's globals and destroyed after them:
// it sees what code running during the static initialisers sees. It then marks both
// trees with an owned child key whose destructor reports when its tree is destroyed.
//
// The variant exports no more than the library does. The probe reaches the program that
// loaded it through a function that program exports, RuzIdeProbeLoaded.
#include "RuzIde.h"
#include "tests/library/DynamicLibrary.h"

namespace {

typedef void (*Record)(const char* event);
typedef void (*Watch)(Record record);
typedef void (*Loaded)(int accessors_null, Watch watch);

Record g_record = nullptr;

void Report(const char* event) {
  if (g_record) g_record(event);
}

// A run-time child key of a tree's root, deleted as the last step of the tree's
// destruction. It reports `event` if the binding arrays still list both hives then; were
// the arrays destroyed first, reading them would touch freed storage, which the address
// sanitizer reports.
class ProbeKey : public CRegDeclKey {
 public:
  explicit ProbeKey(const char* event) : CRegDeclKey("RuzIdeProbe"), event_(event) {}
  ~ProbeKey() override {
    const bool hives_listed = CRegDeclHive::s_aHives.GetSize() == 2 &&
                              CRegDeclHive::s_aHives.GetAt(0) == GetCmnCUser() &&
                              CRegDeclHive::s_aHives.GetAt(1) == GetCmnLMach();
    Report(hives_listed ? event_ : "hives-gone");
  }

 private:
  const char* event_;
};

// Starts reporting to `record` and marks both trees.
void WatchTrees(Record record) {
  g_record = record;
  GetCmnCUser()->BindChild(new ProbeKey("cuser-tree"), 1);
  GetCmnLMach()->BindChild(new ProbeKey("lmach-tree"), 1);
}

// The library's first static object.
class FirstObject {
 public:
  FirstObject() {
    auto loaded = reinterpret_cast<Loaded>(ruzide::test::LookUpInProgram("RuzIdeProbeLoaded"));
    if (loaded) loaded(!GetCmnCUser() && !GetCmnLMach(), WatchTrees);
  }
  ~FirstObject() { Report("first-object"); }
};

FirstObject g_oFirstObject;

}  // namespace
