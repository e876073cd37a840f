// The process-wide binding state, for programs that link the framework without the
// library's global trees. libRuzIde defines these in its globals translation unit
// instead, where their order of construction relative to the trees is fixed.
#include "framework/RegDeclHive.h"

CRegDeclObjectArray CRegDeclHive::s_aHives;
CRegDeclObjectArray CRegDeclHive::s_aParentStack;
CRegDeclObjectArray CRegDeclHive::s_aChildren;
CRegDeclHive* CRegDeclHive::s_pHive = nullptr;
