// The export table of the built libRuzIde.so: exactly the documented interface, that is
// the framework classes (CRegDecl*), the generated classes of the two trees (CRDCL*) with
// all their members, and the eight functions under plain C names; SONAME libRuzIde.so.1.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "tests/library/ChildProcess.h"

namespace {

const std::set<std::string> kFunctions = {
    "GetCmnCUser",       "GetCmnLMach",          "REG_GetInstalledLanguages",
    "REG_LangIDToIndex", "REG_LangIDToLangChar", "REG_LangCharToLangID",
    "REG_GetLangString", "REG_GetLangId"};

std::string Demangle(const std::string& name) {
  int status = 0;
  char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  const std::string out = status == 0 && text ? text : name;
  free(text);
  return out;
}

// A name of a class of the interface: its members and statics, its virtual table and
// type information.
bool OfInterfaceClass(const std::string& name) {
  for (const char* prefix : {"", "vtable for ", "typeinfo for ", "typeinfo name for "}) {
    for (const char* cls : {"CRegDecl", "CRDCL"}) {
      if (name.rfind(std::string(prefix) + cls, 0) == 0) return true;
    }
  }
  return false;
}

// Every symbol the library defines in its dynamic symbol table, as it is spelt there.
std::set<std::string> Exported() {
  const auto nm =
      ruzide::test::RunChild({"/usr/bin/nm", "-D", "--defined-only", RUZIDE_LIBRARY_PATH});
  EXPECT_EQ(0, nm.status) << nm.err;
  std::set<std::string> names;
  std::istringstream lines(nm.out);
  for (std::string address, type, name; lines >> address >> type >> name;) names.insert(name);
  return names;
}

TEST(ExportTableTest, HoldsExactlyTheDocumentedInterface) {
  const std::set<std::string> exported = Exported();
  std::set<std::string> demangled;
  for (const std::string& name : exported) {
    if (kFunctions.count(name)) continue;
    const std::string plain = Demangle(name);
    EXPECT_TRUE(OfInterfaceClass(plain)) << "undocumented export: " << plain;
    demangled.insert(plain);
  }
  for (const std::string& f : kFunctions) EXPECT_EQ(1u, exported.count(f)) << f;
  // The classes come whole, members the library itself never calls included.
  const std::string date = "CRDCLg_oRegCmnCUser::CRDCLSWT_BF_CMN::CRDCLRegional::CRDCLDate";
  const std::string desc =
      "CRDCLg_oRegCmnLMach::CRDCLSWT_BF_CMN::CRDCLLanguages::CRDCLLanguage7::CRDCLDescription";
  const std::string whole[] = {"CRegDeclHive::s_aHives",
                               "vtable for CRegDeclHive",
                               "vtable for " + date,
                               date + "::CRDCLDate(" + date + " const&)",
                               date + "::operator=(" + date + " const&)",
                               desc + "::operator=(char const*)",
                               "CRDCLg_oRegCmnLMach::~CRDCLg_oRegCmnLMach()"};
  for (const std::string& name : whole) EXPECT_EQ(1u, demangled.count(name)) << name;
}

TEST(ExportTableTest, ApplicationsLinkToVersionOne) {
  const auto dump = ruzide::test::RunChild({"/usr/bin/objdump", "-p", RUZIDE_LIBRARY_PATH});
  EXPECT_NE(std::string::npos, dump.out.find("SONAME               libRuzIde.so.1\n"));
}

}  // namespace
