// The export table of the built libRuzIde.so: exactly the documented interface, that is
// the framework classes (CRegDecl*), the generated classes of the two trees (CRDCL*)
// and the eight functions under plain C names, under the SONAME applications link to.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/library/ChildProcess.h"

namespace {

const char* const kFunctions[] = {
    "GetCmnCUser",          "GetCmnLMach",       "REG_GetInstalledLanguages",
    "REG_LangIDToLangChar", "REG_LangIDToIndex", "REG_LangCharToLangID",
    "REG_GetLangString",    "REG_GetLangId"};

std::string Demangle(const std::string& name) {
  int status = 0;
  char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status != 0 || !text) return name;
  std::string out(text);
  free(text);
  return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// A demangled name that belongs to a class of the interface: its members, statics,
// virtual table and type information.
bool OfInterfaceClass(const std::string& name) {
  for (const char* prefix : {"", "vtable for ", "typeinfo for ", "typeinfo name for "}) {
    for (const char* cls : {"CRegDecl", "CRDCL"}) {
      if (StartsWith(name, std::string(prefix) + cls)) return true;
    }
  }
  return false;
}

// The raw names of every symbol the library defines in its dynamic symbol table.
std::set<std::string> ExportedNames() {
  const ruzide::test::ChildResult nm =
      ruzide::test::RunChild({"/usr/bin/nm", "-D", "--defined-only", RUZIDE_LIBRARY_PATH});
  EXPECT_EQ(0, nm.status) << nm.err;
  std::set<std::string> names;
  std::istringstream lines(nm.out);
  std::string address, type, name;
  while (lines >> address >> type >> name) names.insert(name);
  return names;
}

TEST(ExportTableTest, HoldsOnlyTheDocumentedInterface) {
  const std::set<std::string> names = ExportedNames();
  ASSERT_FALSE(names.empty());
  for (const char* function : kFunctions) {
    EXPECT_EQ(1u, names.count(function)) << function << " is not exported undecorated";
  }
  const std::set<std::string> functions(std::begin(kFunctions), std::end(kFunctions));
  for (const std::string& name : names) {
    if (functions.count(name)) continue;
    EXPECT_TRUE(OfInterfaceClass(Demangle(name))) << "undocumented export: " << Demangle(name);
  }
}

TEST(ExportTableTest, CarriesTheClassesWhole) {
  std::set<std::string> exported;
  for (const std::string& name : ExportedNames()) exported.insert(Demangle(name));
  const std::string date = "CRDCLg_oRegCmnCUser::CRDCLSWT_BF_CMN::CRDCLRegional::CRDCLDate";
  const std::string slot7 =
      "CRDCLg_oRegCmnLMach::CRDCLSWT_BF_CMN::CRDCLLanguages::CRDCLLanguage7::CRDCLDescription";
  const std::vector<std::string> expected = {
      "CRegDeclHive::s_aHives",
      "CRegDeclHive::s_aParentStack",
      "CRegDeclHive::s_aChildren",
      "CRegDeclHive::s_pHive",
      "vtable for CRegDeclHive",
      "CRegDeclObjectArray::BindAsChild()",
      "CRDCLg_oRegCmnCUser::CRDCLg_oRegCmnCUser()",
      "CRDCLg_oRegCmnLMach::~CRDCLg_oRegCmnLMach()",
      "vtable for " + date,
      "typeinfo for " + date,
      date + "::" + "CRDCLDate(" + date + " const&)",
      date + "::operator=(int const&)",
      date + "::operator=(" + date + " const&)",
      slot7 + "::operator=(char const*)",
      slot7 + "::~CRDCLDescription()",
  };
  for (const std::string& name : expected) EXPECT_EQ(1u, exported.count(name)) << name;
}

TEST(ExportTableTest, ApplicationsLinkToVersionOne) {
  const ruzide::test::ChildResult dump =
      ruzide::test::RunChild({"/usr/bin/objdump", "-p", RUZIDE_LIBRARY_PATH});
  ASSERT_EQ(0, dump.status) << dump.err;
  EXPECT_NE(std::string::npos, dump.out.find("SONAME               libRuzIde.so.1\n"));
}

}  // namespace
