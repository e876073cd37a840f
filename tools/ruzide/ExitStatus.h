// The exit statuses of the ruzide tool.
#ifndef RUZIDE_TOOLS_RUZIDE_EXITSTATUS_H_
#define RUZIDE_TOOLS_RUZIDE_EXITSTATUS_H_

namespace ruzide {
namespace tool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the request was understood but could not be carried out
constexpr int kExitUsage = 2;    // bad command line

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_EXITSTATUS_H_
