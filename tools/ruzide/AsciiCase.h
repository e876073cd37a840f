// Letter case as registry and setting names compare: ASCII letters only, whatever the
// code page, so that bytes of other characters never change.
#ifndef RUZIDE_TOOLS_RUZIDE_ASCIICASE_H_
#define RUZIDE_TOOLS_RUZIDE_ASCIICASE_H_

#include <string>

namespace ruzide {
namespace tool {

// `text` with the capitals A to Z made small, every other byte as it was.
inline std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_ASCIICASE_H_
