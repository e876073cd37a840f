// `reg import` and `reg export`: a .reg file read into the registry or written from it as
// a stream, in memory that does not grow with the file (it holds the longest line, and
// while exporting one key's value at a time and the names of the subkeys of the keys
// being written).
#ifndef RUZIDE_TOOLS_RUZIDE_REGTRANSFER_H_
#define RUZIDE_TOOLS_RUZIDE_REGTRANSFER_H_

#include <cstdio>
#include <string>

#include "RegFormat.h"
#include "RegPath.h"

namespace ruzide {
namespace tool {

// Applies the .reg file at `file` ("-": standard input), in one store transaction, and
// returns the exit status. A malformed entry is skipped, as Windows' reg skips it, and
// named on `err` ("<file>:<line>: <reason>; skipped"); the rest is imported, exit status
// 0. With `strict` a first pass reads the whole file and, if any entry is malformed,
// names each and imports nothing (exit status 1). Standard input is kept in a temporary
// file before anything is imported. A file refused as a whole (no header,
// a byte order mark that disagrees with its text) imports nothing; a failure of the
// registry stops the import there. On a terminal `err` shows how far it has got.
int ImportRegFile(const std::string& file, int code_page, bool strict, FILE* err);

// Writes the key at `key` and every key below it, parents before their subkeys, to the
// .reg file at `file` ("-": `out`), which is replaced whole or not at all. Returns the
// exit status, with the reason on `err` on failure.
int ExportRegTree(const RegPath& key, const std::string& file, RegDialect dialect, int code_page,
                  FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGTRANSFER_H_
