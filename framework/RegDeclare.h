// Macros that declare a registry tree as nested classes.
//
//   REGDECL_HIVE_BEGIN(g_oSettings, HKEY_CURRENT_USER)
//     REGDECL_KEY_BEGIN(Display, "Display")
//       REGDECL_INT(Width, "Width", 640, 0, 0)
//       REGDECL_STRING(Title, "Title", "Untitled")
//     REGDECL_KEY_END(Display)
//     REGDECL_BINARY(Layout, "Layout", 16)
//   REGDECL_HIVE_END(g_oSettings)
//   CRDCLg_oSettings g_oSettings;
//
// declares CRDCLg_oSettings (a CRegDeclHive) holding m_oDisplay (a
// CRDCLg_oSettings::CRDCLDisplay, a CRegDeclKey named "Display", holding m_oWidth and
// m_oTitle) and m_oLayout, in that order. Every node records itself when constructed;
// the root's constructor sets the root key, replays the nesting as the bind sequence (one
// s_aChildren.BindAsChild() on reaching each node, one s_aParentStack.RemoveLast() on
// leaving each key, in pre-order), empties the binding arrays and reads the whole tree.
//
// The sequence is derived from the nesting alone: each BEGIN opens a class and needs the
// END of the same name to close it, so a declaration that compiles is balanced.
//
// Define REGDECL_EXPORT before use to give the generated classes an export attribute.
#ifndef RUZIDE_FRAMEWORK_REGDECLARE_H_
#define RUZIDE_FRAMEWORK_REGDECLARE_H_

#include <utility>

#include "framework/RegDeclHive.h"

#ifndef REGDECL_EXPORT
#define REGDECL_EXPORT
#endif

namespace ruzide {
namespace decl {

// Receives the bind sequence of a declared tree.
class BindSink {
 public:
  virtual ~BindSink() = default;
  virtual void Bind() = 0;    // one BindAsChild
  virtual void Remove() = 0;  // one RemoveLast
};

// The sink that binds for real, on the process-wide binding arrays.
class ArraySink : public BindSink {
 public:
  void Bind() override { CRegDeclHive::s_aChildren.BindAsChild(); }
  void Remove() override { CRegDeclHive::s_aParentStack.RemoveLast(); }
};

// Member N of a declared class, numbered by __COUNTER__ relative to the class's start.
template <int N>
struct Step {};

template <class C, int... I>
inline void EmitMembers(BindSink& sink, std::integer_sequence<int, I...>) {
  (C::RegDeclMember(Step<I>{}, sink), ...);
}

// Emits the sequence of every member of class C, in declaration order.
template <class C>
inline void EmitMembers(BindSink& sink) {
  EmitMembers<C>(sink, std::make_integer_sequence<int, C::kRegDeclEnd - C::kRegDeclBegin>{});
}

// Steps 3 to 7 of building a declared root, once its members are constructed.
template <class Root>
inline void BuildRoot(Root& root, HKEY root_key) {
  root.m_hRootKey = root_key;
  CRegDeclHive::s_aChildren.SetIndex(0);
  ArraySink sink;
  EmitMembers<Root>(sink);
  CRegDeclHive::s_aParentStack.SetSize(0);
  CRegDeclHive::s_aChildren.SetSize(0);
  root.ReadCache();
}

}  // namespace decl
}  // namespace ruzide

// Opens the member list of a generated class. Positions that hold no member emit nothing.
#define REGDECL_MEMBERS_BEGIN_()                                             \
 public:                                                                     \
  enum : int { kRegDeclBegin = __COUNTER__ };                                \
  template <int N>                                                           \
  static void RegDeclMember(::ruzide::decl::Step<N>, ::ruzide::decl::BindSink&) {}

#define REGDECL_MEMBERS_END_() \
  enum : int { kRegDeclEnd = __COUNTER__ };

// Declares member m_o<Id> of class CRDCL<Id> and its place in the bind sequence.
#define REGDECL_MEMBER_(Id)                                                                 \
  CRDCL##Id m_o##Id;                                                                        \
  static void RegDeclMember(::ruzide::decl::Step<__COUNTER__ - kRegDeclBegin>,              \
                            ::ruzide::decl::BindSink& sink) {                               \
    CRDCL##Id::RegDeclEmit(sink);                                                           \
  }

// A value class: default constructor with the declared arguments, copy constructor,
// assignment from the value and member-wise copy assignment, virtual destructor.
#define REGDECL_VALUE_(Id, Base, ValueType, ...)                                       \
  class REGDECL_EXPORT CRDCL##Id : public Base {                                       \
   public:                                                                             \
    CRDCL##Id() : Base(__VA_ARGS__) {}                                                 \
    CRDCL##Id(const CRDCL##Id& other) : Base(other) {}                                 \
    CRDCL##Id& operator=(ValueType value) {                                            \
      Base::SetValue(value);                                                           \
      return *this;                                                                    \
    }                                                                                  \
    CRDCL##Id& operator=(const CRDCL##Id& other) {                                     \
      Base::operator=(other);                                                          \
      return *this;                                                                    \
    }                                                                                  \
    ~CRDCL##Id() override {}                                                           \
    static void RegDeclEmit(::ruzide::decl::BindSink& sink) { sink.Bind(); }          \
  };                                                                                   \
  REGDECL_MEMBER_(Id)

// An int value (REG_DWORD) with default and clamp bounds (equal bounds: no clamp).
#define REGDECL_INT(Id, name, def, min, max) \
  REGDECL_VALUE_(Id, CRegDeclInt, int const&, name, def, min, max)
// A string value (REG_SZ) with its default text.
#define REGDECL_STRING(Id, name, def) REGDECL_VALUE_(Id, CRegDeclString, char const*, name, def)
// A binary value (REG_BINARY) of a fixed size.
#define REGDECL_BINARY(Id, name, size) \
  REGDECL_VALUE_(Id, CRegDeclBinary, const unsigned char*, name, size)

// A key named `name` (a path relative to its parent); its members follow until
// REGDECL_KEY_END with the same Id.
#define REGDECL_KEY_BEGIN(Id, name)                   \
  class REGDECL_EXPORT CRDCL##Id : public CRegDeclKey { \
   public:                                            \
    CRDCL##Id() : CRegDeclKey(name) {}                \
    ~CRDCL##Id() override {}                          \
    REGDECL_MEMBERS_BEGIN_()

#define REGDECL_KEY_END(Id)                                         \
  REGDECL_MEMBERS_END_()                                            \
  static void RegDeclEmit(::ruzide::decl::BindSink& sink) {         \
    sink.Bind();                                                    \
    ::ruzide::decl::EmitMembers<CRDCL##Id>(sink);                   \
    sink.Remove();                                                  \
  }                                                                 \
  }                                                                 \
  ;                                                                 \
  REGDECL_MEMBER_(Id)

// The root of a tree held in the object `Object`, bound to the predefined root key.
#define REGDECL_HIVE_BEGIN(Object, root_key)                        \
  class REGDECL_EXPORT CRDCL##Object : public CRegDeclHive {        \
   public:                                                          \
    CRDCL##Object() { ::ruzide::decl::BuildRoot(*this, root_key); } \
    ~CRDCL##Object() override {}                                    \
    REGDECL_MEMBERS_BEGIN_()

#define REGDECL_HIVE_END(Object)                  \
  REGDECL_MEMBERS_END_()                          \
  typedef CRDCL##Object RegDeclSelf; /* names must match */ \
  }                                               \
  ;

#endif  // RUZIDE_FRAMEWORK_REGDECLARE_H_
