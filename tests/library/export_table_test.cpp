// The export table of the built library (libRuzIde.so, or RuzIde.dll on Windows): exactly
// the documented interface, that is the framework classes (CRegDecl*), the generated
// classes of the two trees (CRDCL*) with all their members, the eight functions under
// plain C names and the tree check. libRuzIde.so has SONAME libRuzIde.so.1; RuzIde.dll imports
// nothing but the system's own DLLs.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "tests/library/ChildProcess.h"
#endif

namespace {

const std::set<std::string> kFunctions = {
    "GetCmnCUser",       "GetCmnLMach",          "REG_GetInstalledLanguages",
    "REG_LangIDToIndex", "REG_LangIDToLangChar", "REG_LangCharToLangID",
    "REG_GetLangString", "REG_GetLangId"};
const char kTreeCheck[] = "ruzide::decl::VerifyTree(CRegDeclHive&)";
// The tree walk and its two helpers.
const std::set<std::string> kTreeWalk = {
    "ruzide::decl::WalkTree(CRegDeclHive&, void (*)(ruzide::decl::ValueInfo const&, void*), void*)",
    "ruzide::decl::TreeBase(CRegDeclHive&)", "ruzide::decl::RootName(HKEY__*)"};

std::string Demangle(const std::string& name) {
  int status = 0;
  char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  const std::string out = status == 0 && text ? text : name;
  free(text);
  return out;
}

// A name of a class of the interface: its members and statics, its virtual table and
// type information. The class's name runs up to the first "::" and is one identifier.
bool OfInterfaceClass(const std::string& name) {
  for (const char* prefix : {"", "vtable for ", "typeinfo for ", "typeinfo name for "}) {
    for (const char* cls : {"CRegDecl", "CRDCL"}) {
      const std::string start = std::string(prefix) + cls;
      if (name.rfind(start, 0) != 0) continue;
      const size_t end = name.find_first_not_of(
          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_", start.size());
      const bool whole_name = end == std::string::npos;  // a top-level class's table or type
      const bool scoped = !whole_name && name.compare(end, 2, "::") == 0;
      if (scoped || (whole_name && *prefix)) return true;
    }
  }
  return false;
}

#ifdef _WIN32
// The DLL's image, mapped as the loader maps it but without running its entry or loading
// what it imports, and its directories.
class DllImage {
 public:
  DllImage() : module_(LoadLibraryExA(RUZIDE_LIBRARY_PATH, nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
  ~DllImage() {
    if (module_) FreeLibrary(module_);
  }
  bool loaded() const { return module_ != nullptr; }
  // What the relative virtual address `rva` points to.
  template <class T>
  const T* At(DWORD rva) const {
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module_) + rva);
  }
  const IMAGE_DATA_DIRECTORY& Directory(int entry) const {
    const auto* dos = At<IMAGE_DOS_HEADER>(0);
    return At<IMAGE_NT_HEADERS>(dos->e_lfanew)->OptionalHeader.DataDirectory[entry];
  }

 private:
  HMODULE module_;
};

// Every name in the DLL's export directory, as it is spelt there.
std::set<std::string> Exported() {
  DllImage image;
  EXPECT_TRUE(image.loaded());
  std::set<std::string> names;
  if (!image.loaded()) return names;
  const auto* exports = image.At<IMAGE_EXPORT_DIRECTORY>(
      image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
  const DWORD* name_rvas = image.At<DWORD>(exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(image.At<char>(name_rvas[i]));
  return names;
}
#else
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
#endif

TEST(ExportTableTest, HoldsExactlyTheDocumentedInterface) {
  const std::set<std::string> exported = Exported();
  std::set<std::string> demangled;
  for (const std::string& name : exported) {
    if (kFunctions.count(name)) continue;
    const std::string plain = Demangle(name);
    EXPECT_TRUE(OfInterfaceClass(plain) || plain == kTreeCheck || kTreeWalk.count(plain))
        << "undocumented export: " << plain;
    demangled.insert(plain);
  }
  for (const std::string& f : kFunctions) EXPECT_EQ(1u, exported.count(f)) << f;
  // The classes come whole, members the library itself never calls included.
  const std::string date = "CRDCLg_oRegCmnCUser::CRDCLSWT_BF_CMN::CRDCLRegional::CRDCLDate";
  const std::string desc =
      "CRDCLg_oRegCmnLMach::CRDCLSWT_BF_CMN::CRDCLLanguages::CRDCLLanguage7::CRDCLDescription";
  const std::string whole[] = {"CRegDeclHive::s_aHives",
                               "vtable for CRegDeclHive",
                               "vtable for CRegDeclStringList",
                               kTreeCheck,
                               "vtable for " + date,
                               date + "::CRDCLDate(" + date + " const&)",
                               date + "::operator=(" + date + " const&)",
                               desc + "::operator=(char const*)",
                               "CRDCLg_oRegCmnLMach::~CRDCLg_oRegCmnLMach()"};
  for (const std::string& name : whole) EXPECT_EQ(1u, demangled.count(name)) << name;
  for (const std::string& name : kTreeWalk) EXPECT_EQ(1u, demangled.count(name)) << name;
}

#ifdef _WIN32
// The registry is the system's: no store, no runtime DLL of the toolchain's.
TEST(ExportTableTest, ImportsOnlyTheSystemsDlls) {
  DllImage image;
  ASSERT_TRUE(image.loaded());
  std::set<std::string> dlls;
  const auto* imports = image.At<IMAGE_IMPORT_DESCRIPTOR>(
      image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
  for (; imports->Name != 0; ++imports) dlls.insert(image.At<char>(imports->Name));
  EXPECT_EQ((std::set<std::string>{"ADVAPI32.dll", "KERNEL32.dll", "msvcrt.dll"}), dlls);
}
#else
TEST(ExportTableTest, ApplicationsLinkToVersionOne) {
  const auto dump = ruzide::test::RunChild({"/usr/bin/objdump", "-p", RUZIDE_LIBRARY_PATH});
  EXPECT_NE(std::string::npos, dump.out.find("SONAME               libRuzIde.so.1\n"));
}
#endif

}  // namespace
