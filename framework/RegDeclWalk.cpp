#include "framework/RegDeclWalk.h"

#include <cstdint>
#include <cstdio>

#include "framework/RegDeclValueEx.h"
#include "platform/WinTypes.h"

namespace ruzide {
namespace decl {
namespace {

// The top-level key every setting name is relative to, or null for the root itself.
CRegDeclObject* BaseKey(CRegDeclHive& tree) {
  if (tree.m_aChildren.GetSize() != 1) return nullptr;
  CRegDeclObject* only = tree.m_aChildren[0];
  return only && only->IsKey() ? only : nullptr;
}

// Kinds are told apart by the type tests where they can be; the kinds that extend an
// earlier one (signed int, expandable string) and the two with no test of their own are
// found by their class, as VerifyTree finds them.
void Classify(CRegDeclObject* node, ValueInfo* info) {
  if (auto* s = dynamic_cast<CRegDeclSignedInt*>(node)) {
    info->kind = kKindSignedInt;
    info->pszType = "REG_DWORD";
    info->bSignedBounds = 1;
    info->nDefault = s->m_nDefault;
    info->nMin = s->m_nSignedMin;
    info->nMax = s->m_nSignedMax;
    info->nValue = s->m_nValue;
  } else if (auto* q = dynamic_cast<CRegDeclQword*>(node)) {
    info->kind = kKindQword;
    info->pszType = "REG_QWORD";
    info->bSignedBounds = 1;
    info->nDefault = q->m_nDefault;
    info->nMin = q->m_nMin;
    info->nMax = q->m_nMax;
    info->nValue = q->m_nValue;
  } else if (node->IsInt()) {
    auto* i = static_cast<CRegDeclInt*>(node);
    info->kind = kKindInt;
    info->pszType = "REG_DWORD";
    info->nDefault = static_cast<uint32_t>(i->m_nDefault);
    info->nMin = static_cast<uint32_t>(i->m_nMin);
    info->nMax = static_cast<uint32_t>(i->m_nMax);
    info->nValue = static_cast<uint32_t>(i->m_nValue);
  } else if (node->IsString()) {
    auto* s = static_cast<CRegDeclString*>(node);
    const bool expand = dynamic_cast<CRegDeclExpandString*>(node) != nullptr;
    info->kind = expand ? kKindExpandString : kKindString;
    info->pszType = expand ? "REG_EXPAND_SZ" : "REG_SZ";
    info->strDefault = s->m_strDefault;
    info->strValue = s->m_strValue;
  } else if (node->IsBinary()) {
    info->kind = kKindBinary;
    info->pszType = "REG_BINARY";
  } else {
    info->kind = kKindStringList;
    info->pszType = "REG_MULTI_SZ";
  }
  info->bBounded = info->nMin != info->nMax;
}

CString Dotted(const CString& path) {
  CString out;
  for (int i = 0; i < path.GetLength(); ++i) out += path[i] == '\\' ? '.' : path[i];
  return out;
}

class Walker {
 public:
  Walker(CRegDeclHive& tree, void (*visit)(const ValueInfo&, void*), void* context)
      : base_(TreeBase(tree)), root_(RootName(tree.m_hRootKey)), visit_(visit), context_(context) {}

  void Key(CRegDeclKey& key) {
    for (INT_PTR i = 0; i < key.m_aChildren.GetSize(); ++i) {
      CRegDeclObject* child = key.m_aChildren[i];
      if (!child) continue;
      if (child->IsKey()) {
        Key(*static_cast<CRegDeclKey*>(child));
      } else if (child->IsValue()) {
        Value(static_cast<CRegDeclValue*>(child));
      }
    }
  }

 private:
  void Value(CRegDeclValue* node) {
    ValueInfo info{};
    info.strValueName = node->m_strName;
    info.strKey = root_;
    if (!node->m_strFullPath.IsEmpty()) info.strKey += "\\" + node->m_strFullPath;
    // The key path below the base: the base itself, and any key outside it, keep their
    // path whole.
    CString below = node->m_strFullPath;
    if (!base_.IsEmpty() && below.CompareNoCase(base_) == 0) {
      below.Empty();
    } else if (!base_.IsEmpty() && below.GetLength() > base_.GetLength() &&
               below[base_.GetLength()] == '\\' &&
               below.Left(base_.GetLength()).CompareNoCase(base_) == 0) {
      below = below.Mid(base_.GetLength() + 1);
    }
    info.strSetting = below.IsEmpty() ? info.strValueName : Dotted(below) + "." + info.strValueName;
    Classify(node, &info);
    info.bInRegistry = node->m_bInRegistry;
    info.bDirty = node->m_bDirty;
    info.pValue = node;
    visit_(info, context_);
  }

  CString base_;
  CString root_;
  void (*visit_)(const ValueInfo&, void*);
  void* context_;
};

}  // namespace

CString TreeBase(CRegDeclHive& tree) {
  CRegDeclObject* base = BaseKey(tree);
  if (!base) return CString();
  CString path;
  base->GetFullPath(path);
  return path;
}

CString RootName(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  CString other;
  other.Format("HKEY_0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(root)));
  return other;
}

void WalkTree(CRegDeclHive& tree, void (*visit)(const ValueInfo&, void*), void* context) {
  if (!visit) return;
  Walker(tree, visit, context).Key(tree);
}

}  // namespace decl
}  // namespace ruzide
