// The `languages` command of the ruzide tool: the installed user-interface languages as
// the library's language functions answer.
#ifndef RUZIDE_TOOLS_RUZIDE_LANGUAGES_H_
#define RUZIDE_TOOLS_RUZIDE_LANGUAGES_H_

#include <cstdio>

#include "RuzIde.h"

namespace ruzide {
namespace tool {

// Prints slot, identifier, language character and description (converted to UTF-8 from
// the code page of its language) of every installed language of `tree`, the library's
// local-machine tree. Returns the process exit status.
int ListLanguages(CRDCLg_oRegCmnLMach& tree, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_LANGUAGES_H_
