#include "framework/RegDeclVerify.h"

#include <string>
#include <vector>

#include "framework/RegDeclValueEx.h"
#include "platform/WinTypes.h"

namespace ruzide {
namespace decl {
namespace {

// The predefined roots the registry functions serve on this platform.
bool IsPlatformRoot(HKEY root) {
#ifdef _WIN32
  for (HKEY known : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                     HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG}) {
#else
  for (HKEY known : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
#endif
    if (root == known) return true;
  }
  return false;
}

// Registry names ignore case; ASCII folding is what every code page agrees on.
std::string Folded(const char* name) {
  std::string out(name ? name : "");
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

class Checker {
 public:
  void Key(CRegDeclKey& key) {
    std::vector<std::string> keys, values;
    for (INT_PTR i = 0; i < key.m_aChildren.GetSize(); ++i) {
      CRegDeclObject* child = key.m_aChildren[i];
      if (!child) continue;
      CString path;
      child->GetFullPath(path);
      if (child->IsKey()) {
        const char* name = child->m_strName;
        if (!name[0] || name[0] == '\\') {
          Problem(path, "a key name must not be empty nor start with a backslash");
        }
        Unique(&keys, child->m_strName, path, "key");
        Key(*static_cast<CRegDeclKey*>(child));
      } else if (child->IsValue()) {
        Unique(&values, child->m_strName, path, "value");
        Bounds(child, path);
      }
    }
  }

  void Problem(const char* where, const char* what) {
    text_ += where;
    text_ += ": ";
    text_ += what;
    text_ += '\n';
  }

  const CString& text() const { return text_; }

 private:
  void Unique(std::vector<std::string>* seen, const char* name, const char* path,
              const char* kind) {
    std::string folded = Folded(name);
    for (const std::string& other : *seen) {
      if (other == folded) {
        Problem(path, (std::string("a second ") + kind +
                       " of this name (letter case aside) in the same key")
                          .c_str());
        return;
      }
    }
    seen->push_back(folded);
  }

  void Bounds(CRegDeclObject* value, const char* path) {
    if (auto* signed_int = dynamic_cast<CRegDeclSignedInt*>(value)) {
      Signed(signed_int->m_nDefault, signed_int->m_nSignedMin, signed_int->m_nSignedMax, path);
    } else if (auto* qword = dynamic_cast<CRegDeclQword*>(value)) {
      Signed(qword->m_nDefault, qword->m_nMin, qword->m_nMax, path);
    } else if (value->IsInt()) {
      auto* int_value = static_cast<CRegDeclInt*>(value);
      if (!UnsignedOrdered(int_value->m_nMin, int_value->m_nMax)) {
        Problem(path, "min is above max compared unsigned, as the int clamps");
      } else if (!UnsignedWithin(int_value->m_nDefault, int_value->m_nMin, int_value->m_nMax)) {
        Problem(path, "the default is outside the bounds, compared unsigned");
      }
    }
  }

  void Signed(long long def, long long min, long long max, const char* path) {
    if (!SignedOrdered(min, max)) {
      Problem(path, "min is above max");
    } else if (!SignedWithin(def, min, max)) {
      Problem(path, "the default is outside the bounds");
    }
  }

  CString text_;
};

}  // namespace

CString VerifyTree(CRegDeclHive& tree) {
  Checker checker;
  if (!IsPlatformRoot(tree.m_hRootKey)) {
    checker.Problem("(root)", "not a predefined root key this platform's registry has");
  }
  checker.Key(tree);
  return checker.text();
}

}  // namespace decl
}  // namespace ruzide
