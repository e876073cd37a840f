// Asking the user before a verb replaces or deletes what is already there, as Windows'
// reg does for a command without /f.
#ifndef RUZIDE_TOOLS_RUZIDE_QUESTION_H_
#define RUZIDE_TOOLS_RUZIDE_QUESTION_H_

#include <cstdio>
#include <string>

namespace ruzide {
namespace tool {

enum class Answer { kYes, kNo, kAll, kNone };

// Writes `question` and "(Yes/No)", or "(Yes/No/All)" with `offer_all`, on `out` and
// reads a line from `in`, again until the answer is one of those words or its first
// letter, in any case. kNone when `in` ends first: a script that gives no answer
// changes nothing.
Answer Ask(const std::string& question, bool offer_all, FILE* in, FILE* out);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_QUESTION_H_
