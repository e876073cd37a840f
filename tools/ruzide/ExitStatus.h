// The exit statuses of the ruzide tool.
#ifndef RUZIDE_TOOLS_RUZIDE_EXITSTATUS_H_
#define RUZIDE_TOOLS_RUZIDE_EXITSTATUS_H_

#include <cstdio>
#include <string>

namespace ruzide {
namespace tool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the request was understood but could not be carried out
constexpr int kExitUsage = 2;    // bad command line

// Says on `err` what failed, as "ruzide: <what>", and returns kExitFailure.
inline int Failure(FILE* err, const std::string& what) {
  fprintf(err, "ruzide: %s\n", what.c_str());
  return kExitFailure;
}

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_EXITSTATUS_H_
