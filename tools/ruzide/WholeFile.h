// Writing a file so that it is never found half-written.
#ifndef RUZIDE_TOOLS_RUZIDE_WHOLEFILE_H_
#define RUZIDE_TOOLS_RUZIDE_WHOLEFILE_H_

#include <cstdio>
#include <functional>
#include <string>

namespace ruzide {
namespace tool {

// Makes the file at `path` hold what `write` writes to the stream it is given. A regular
// file (or none) is replaced whole or not at all: the text goes to a new file in the same
// folder, reaches the disk, and only then is renamed over `path`, so a full disk, a
// crash or a `write` that gives up leaves the old file as it was. An existing file keeps
// its mode, and a symbolic link stays, its target replaced. What is not a regular file (a
// terminal, a pipe, /dev/null) is written to directly. `write` returns false when it
// fails, errno set by the write that failed, or 0 when it gave up for a reason of its
// own. Returns false, with errno set (0 then) and no new file left behind, on failure.
bool WriteWholeFile(const std::string& path, const std::function<bool(FILE* out)>& write);

// As WriteWholeFile, for a regular file or none at `path`, but `fill` writes the new file,
// given its path: it exists, empty, and is renamed over `path` only if `fill` returns true
// (and removed otherwise, errno then 0).
bool WriteWholeFileWith(const std::string& path,
                        const std::function<bool(const std::string& temporary)>& fill);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_WHOLEFILE_H_
