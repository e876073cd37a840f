#include "platform/registry/NameFold.h"

namespace ruzide::registry {

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return folded;
}

}  // namespace ruzide::registry
