// Macros that declare a registry tree as nested classes (docs/declaring-settings.md is the
// guide, examples/settings-demo a whole application). A complete declaration:
//
//   REGDECL_HIVE_BEGIN(g_oDemo, HKEY_CURRENT_USER)
//     REGDECL_KEY_BEGIN(App, "Software\\Example\\Demo")
//       REGDECL_KEY_BEGIN(Window, "Window")
//         REGDECL_SIGNED_INT(Left, "Left", 0, -7680, 7680)
//         REGDECL_INT(Width, "Width", 640, 320, 7680)
//       REGDECL_KEY_END(Window)
//       REGDECL_STRING(Title, "Title", "Untitled")
//       REGDECL_STRING_LIST(Recent, "Recent")
//     REGDECL_KEY_END(App)
//   REGDECL_HIVE_END(g_oDemo)
//   CRDCLg_oDemo g_oDemo;
//
// declares CRDCLg_oDemo (a CRegDeclHive) holding m_oApp (a CRDCLg_oDemo::CRDCLApp, a
// CRegDeclKey named "Software\\Example\\Demo", holding m_oWindow, m_oTitle, m_oRecent), in
// that order. Every node records itself when constructed; the root's constructor sets the
// root key, replays the nesting as the bind sequence (one s_aChildren.BindAsChild() on
// reaching each node, one s_aParentStack.RemoveLast() on leaving each key, in pre-order),
// empties the binding arrays and reads the whole tree.
//
// The sequence is derived from the nesting alone: each BEGIN opens a class and needs the
// END of the same name to close it, so a declaration that compiles is balanced. What the
// macros can see is checked as they compile (key names, bounds and defaults, and, at
// REGDECL_HIVE_END, names of one key that differ only in case); the rest (the root,
// run-time children, hand-written nodes among the declared ones) by ruzide::decl::Verify,
// which a debug build also runs, once, when it first builds the tree, writing what it
// finds to the standard error.
//
// Define REGDECL_EXPORT before use to give the generated classes an export attribute.
#ifndef RUZIDE_FRAMEWORK_REGDECLARE_H_
#define RUZIDE_FRAMEWORK_REGDECLARE_H_

#include <cstdio>
#include <typeinfo>
#include <utility>

#include "framework/RegDeclHive.h"
#include "framework/RegDeclValueEx.h"
#include "framework/RegDeclVerify.h"

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

// The registry name a member of a declared class stands for, and its kind: 1 a value,
// 2 a key, 0 a position that declares neither.
struct MemberName {
  const char* name;
  int kind;
  bool (*unique)();  // a key's own check of its members; for a value, NoMembers
};

// The member check of a value, which has no members. A function rather than a null
// pointer: with the sanitizers a function's address compared with null is not constant.
constexpr bool NoMembers() { return true; }

// Equal names, ASCII letters folded, as the registry compares them.
constexpr bool SameFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
    if (!x) return true;
  }
}

template <class C, int... I>
constexpr bool NamesUnique(std::integer_sequence<int, I...>) {
  const MemberName names[] = {MemberName{nullptr, 0, NoMembers}, C::RegDeclName(Step<I>{})...};
  for (const MemberName& a : names) {
    if (!a.unique()) return false;
    for (const MemberName* b = &a + 1; b != names + sizeof names / sizeof names[0]; ++b) {
      if (a.kind && a.kind == b->kind && a.name && b->name && SameFolded(a.name, b->name)) {
        return false;
      }
    }
  }
  return true;
}

// True when no two values, and no two keys, declared in class C or in any key below it
// share a name. Only a whole tree can be asked: the members' checks are defined once the
// outermost class is complete.
template <class C>
constexpr bool NamesUnique() {
  return NamesUnique<C>(std::make_integer_sequence<int, C::kRegDeclEnd - C::kRegDeclBegin>{});
}

// Counts the binds of a declared tree: one per node the macros declare.
class CountingSink : public BindSink {
 public:
  void Bind() override { ++binds; }
  void Remove() override {}
  int binds = 0;
};

// How many nodes the last build of a Root recorded beyond those its macros declare: nodes
// written by hand among the declared members, which shift the bind sequence so that
// declared nodes end up unbound or under the wrong key.
template <class Root>
inline int& StrayNodes() {
  static int count = 0;
  return count;
}

// Every problem of a declared tree, one line each, or the empty text: VerifyTree's, and
// the hand-written nodes its last build found.
template <class Root>
inline CString Verify(Root& tree) {
  CString text = VerifyTree(tree);
  if (StrayNodes<Root>() != 0) {
    CString line;
    line.Format(
        "(declaration): %d node(s) not declared with the REGDECL_ macros among the "
        "declared members; the members after them are bound to the wrong nodes\n",
        StrayNodes<Root>());
    text += line;
  }
  return text;
}

// Steps 3 to 7 of building a declared root, once its members are constructed.
template <class Root>
inline void BuildRoot(Root& root, HKEY root_key) {
  root.m_hRootKey = root_key;
  CountingSink declared;
  EmitMembers<Root>(declared);
  StrayNodes<Root>() = static_cast<int>(CRegDeclHive::s_aChildren.GetSize()) - declared.binds;
  CRegDeclHive::s_aChildren.SetIndex(0);
  ArraySink sink;
  EmitMembers<Root>(sink);
  CRegDeclHive::s_aParentStack.SetSize(0);
  CRegDeclHive::s_aChildren.SetSize(0);
  root.ReadCache();
#ifndef NDEBUG
  static bool checked = false;
  if (!checked) {
    checked = true;
    CString problems = Verify(root);
    if (!problems.IsEmpty()) {
      fprintf(stderr, "RuzIde: the declared tree %s has mistakes:\n%s", typeid(Root).name(),
              problems.GetString());
    }
  }
#endif
}

}  // namespace decl
}  // namespace ruzide

// Opens the member list of a generated class. Positions that hold no member emit nothing.
#define REGDECL_MEMBERS_BEGIN_()                                                     \
 public:                                                                             \
  enum : int { kRegDeclBegin = __COUNTER__ };                                        \
  template <int N>                                                                   \
  static void RegDeclMember(::ruzide::decl::Step<N>, ::ruzide::decl::BindSink&) {}   \
  template <int N>                                                                   \
  static constexpr ::ruzide::decl::MemberName RegDeclName(::ruzide::decl::Step<N>) { \
    return {nullptr, 0, ::ruzide::decl::NoMembers};                                  \
  }

#define REGDECL_MEMBERS_END_() enum : int { kRegDeclEnd = __COUNTER__ };

// Declares member m_o<Id> of class CRDCL<Id> and its place in the bind sequence.
#define REGDECL_MEMBER_(Id)                                                    \
  CRDCL##Id m_o##Id;                                                           \
  static void RegDeclMember(::ruzide::decl::Step<__COUNTER__ - kRegDeclBegin>, \
                            ::ruzide::decl::BindSink& sink) {                  \
    CRDCL##Id::RegDeclEmit(sink);                                              \
  }

// Records the registry name of the next member for the duplicate check (kind 1: value,
// 2: key).
#define REGDECL_NAME_(name, kind, unique)                  \
  static constexpr ::ruzide::decl::MemberName RegDeclName( \
      ::ruzide::decl::Step<__COUNTER__ - kRegDeclBegin>) { \
    return {name, kind, unique};                           \
  }

// Fails to compile when two values, or two keys, of one key of the tree CRDCL<Object>
// share a name.
#define REGDECL_UNIQUE_(Object)                                                           \
  static_assert(::ruzide::decl::NamesUnique<CRDCL##Object>(),                             \
                "REGDECL_HIVE_END(" #Object                                               \
                "): two values, or two keys, of one key of this tree have the same name " \
                "(letter case aside); the registry would hold one");

// A value class: default constructor with the declared arguments, copy constructor,
// assignment from the value and member-wise copy assignment, virtual destructor.
#define REGDECL_VALUE_(Id, Base, ValueType, ...)                             \
  class REGDECL_EXPORT CRDCL##Id : public Base {                             \
   public:                                                                   \
    CRDCL##Id() : Base(__VA_ARGS__) {}                                       \
    CRDCL##Id(const CRDCL##Id& other) : Base(other) {}                       \
    CRDCL##Id& operator=(ValueType value) {                                  \
      Base::SetValue(value);                                                 \
      return *this;                                                          \
    }                                                                        \
    CRDCL##Id& operator=(const CRDCL##Id& other) {                           \
      Base::operator=(other);                                                \
      return *this;                                                          \
    }                                                                        \
    ~CRDCL##Id() override {}                                                 \
    static void RegDeclEmit(::ruzide::decl::BindSink& sink) { sink.Bind(); } \
  };                                                                         \
  REGDECL_MEMBER_(Id)

// An int value (REG_DWORD) with default and clamp bounds (equal bounds: no clamp). The
// bounds compare as unsigned numbers (0 and -1 let every value through); for a range
// across zero use REGDECL_SIGNED_INT.
#define REGDECL_INT(Id, name, def, min, max)                                                \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers)                                         \
  REGDECL_VALUE_(Id, CRegDeclInt, int const&, name, def, min, max)                          \
  static_assert(::ruzide::decl::UnsignedOrdered(min, max),                                  \
                "REGDECL_INT(" #Id                                                          \
                "): min is above max compared unsigned, as the int clamps; a signed range " \
                "needs REGDECL_SIGNED_INT");                                                \
  static_assert(::ruzide::decl::UnsignedWithin(def, min, max),                              \
                "REGDECL_INT(" #Id "): the default is outside the bounds (compared unsigned)");
// An int value (REG_DWORD) whose bounds compare as signed numbers.
#define REGDECL_SIGNED_INT(Id, name, def, min, max)                      \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers)                      \
  REGDECL_VALUE_(Id, CRegDeclSignedInt, int const&, name, def, min, max) \
  static_assert(::ruzide::decl::SignedOrdered(min, max),                 \
                "REGDECL_SIGNED_INT(" #Id "): min is above max");        \
  static_assert(::ruzide::decl::SignedWithin(def, min, max),             \
                "REGDECL_SIGNED_INT(" #Id "): the default is outside the bounds");
// A 64-bit int value (REG_QWORD) with default and signed bounds (equal: no clamp).
#define REGDECL_QWORD(Id, name, def, min, max)                             \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers)                        \
  REGDECL_VALUE_(Id, CRegDeclQword, long long const&, name, def, min, max) \
  static_assert(::ruzide::decl::SignedOrdered(min, max),                   \
                "REGDECL_QWORD(" #Id "): min is above max");               \
  static_assert(::ruzide::decl::SignedWithin(def, min, max),               \
                "REGDECL_QWORD(" #Id "): the default is outside the bounds");
// A string value (REG_SZ) with its default text.
#define REGDECL_STRING(Id, name, def)               \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers) \
  REGDECL_VALUE_(Id, CRegDeclString, char const*, name, def)
// An expandable string value (REG_EXPAND_SZ), kept unexpanded; GetExpanded() expands it.
#define REGDECL_EXPAND_STRING(Id, name, def)        \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers) \
  REGDECL_VALUE_(Id, CRegDeclExpandString, char const*, name, def)
// A list of strings (REG_MULTI_SZ), empty by default, read and written whole.
#define REGDECL_STRING_LIST(Id, name)               \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers) \
  REGDECL_VALUE_(Id, CRegDeclStringList, const CStringList&, name)
// A binary value (REG_BINARY) of a fixed size.
#define REGDECL_BINARY(Id, name, size)              \
  REGDECL_NAME_(name, 1, ::ruzide::decl::NoMembers) \
  REGDECL_VALUE_(Id, CRegDeclBinary, const unsigned char*, name, size)

// A key named `name` (a path relative to its parent); its members follow until
// REGDECL_KEY_END with the same Id.
#define REGDECL_KEY_BEGIN(Id, name)                                                           \
  static_assert(::ruzide::decl::KeyNameOk(name),                                              \
                "REGDECL_KEY_BEGIN(" #Id                                                      \
                "): a key name is a path below its parent: not empty, no leading backslash"); \
  class REGDECL_EXPORT CRDCL##Id : public CRegDeclKey {                                       \
   public:                                                                                    \
    CRDCL##Id() : CRegDeclKey(name) {}                                                        \
    static constexpr const char* RegDeclKeyName() { return name; }                            \
    ~CRDCL##Id() override {}                                                                  \
    REGDECL_MEMBERS_BEGIN_()

#define REGDECL_KEY_END(Id)                                                                  \
  REGDECL_MEMBERS_END_()                                                                     \
  static void RegDeclEmit(::ruzide::decl::BindSink& sink) {                                  \
    sink.Bind();                                                                             \
    ::ruzide::decl::EmitMembers<CRDCL##Id>(sink);                                            \
    sink.Remove();                                                                           \
  }                                                                                          \
  static constexpr bool RegDeclUnique() { return ::ruzide::decl::NamesUnique<CRDCL##Id>(); } \
  }                                                                                          \
  ;                                                                                          \
  REGDECL_NAME_(CRDCL##Id::RegDeclKeyName(), 2, &CRDCL##Id::RegDeclUnique)                   \
  REGDECL_MEMBER_(Id)

// The root of a tree held in the object `Object`, bound to the predefined root key.
#define REGDECL_HIVE_BEGIN(Object, root_key)                        \
  class REGDECL_EXPORT CRDCL##Object : public CRegDeclHive {        \
   public:                                                          \
    CRDCL##Object() { ::ruzide::decl::BuildRoot(*this, root_key); } \
    ~CRDCL##Object() override {}                                    \
    REGDECL_MEMBERS_BEGIN_()

#define REGDECL_HIVE_END(Object)                            \
  REGDECL_MEMBERS_END_()                                    \
  typedef CRDCL##Object RegDeclSelf; /* names must match */ \
  }                                                         \
  ;                                                         \
  REGDECL_UNIQUE_(Object)

#endif  // RUZIDE_FRAMEWORK_REGDECLARE_H_
