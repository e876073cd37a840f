// Where the running ruzide tool lives, for the files it finds relative to itself: the
// settings module and the installed schemas.
#ifndef RUZIDE_TOOLS_RUZIDE_TOOLFOLDER_H_
#define RUZIDE_TOOLS_RUZIDE_TOOLFOLDER_H_

#include <string>

namespace ruzide {
namespace tool {

#ifdef _WIN32
const char kPathSeparator = '\\';
#else
const char kPathSeparator = '/';
#endif

// The folder of the process's executable, without a trailing separator; "." when it
// cannot be found.
std::string ToolFolder();

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_TOOLFOLDER_H_
