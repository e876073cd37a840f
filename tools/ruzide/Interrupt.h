// How the commands that run until interrupted end: Ctrl-C (SIGINT, or SIGTERM off
// Windows) ends the process at once with exit status 0. Their output is flushed line by
// line, so nothing printed is lost.
#ifndef RUZIDE_TOOLS_RUZIDE_INTERRUPT_H_
#define RUZIDE_TOOLS_RUZIDE_INTERRUPT_H_

namespace ruzide {
namespace tool {

void ExitOnInterrupt();

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_INTERRUPT_H_
