#include "Question.h"

#include <strings.h>

namespace ruzide {
namespace tool {

Answer Ask(const std::string& question, bool offer_all, FILE* in, FILE* out) {
  for (;;) {
    fprintf(out, "%s %s ", question.c_str(), offer_all ? "(Yes/No/All)" : "(Yes/No)");
    fflush(out);
    char line[64];
    if (fgets(line, sizeof line, in) == nullptr) {
      fputs("\n", out);
      return Answer::kNone;
    }
    std::string word(line);
    while (!word.empty() && (word.back() == '\n' || word.back() == '\r' || word.back() == ' ')) {
      word.pop_back();
    }
    const char* w = word.c_str();
    if (strcasecmp(w, "y") == 0 || strcasecmp(w, "yes") == 0) return Answer::kYes;
    if (strcasecmp(w, "n") == 0 || strcasecmp(w, "no") == 0) return Answer::kNo;
    if (offer_all && (strcasecmp(w, "a") == 0 || strcasecmp(w, "all") == 0)) return Answer::kAll;
  }
}

}  // namespace tool
}  // namespace ruzide
