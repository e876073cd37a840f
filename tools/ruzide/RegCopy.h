// `reg copy <from> <to> [/s] [/f]`: copies a key's values, and with /s every key below
// it, to another key, in one store transaction.
#ifndef RUZIDE_TOOLS_RUZIDE_REGCOPY_H_
#define RUZIDE_TOOLS_RUZIDE_REGCOPY_H_

#include <cstdio>

#include "RegPath.h"

namespace ruzide {
namespace tool {

// Copies the values of the key at `from` to the key at `to`, creating it and any
// missing key above it; with `subtree` also every key below `from`, with its values, to
// the same place below `to`. Values and keys only `to` has are kept. A value `to`
// already has is replaced when `force` is set; otherwise the user is asked on `in`
// (questions on `out`), before anything is written, whether to replace it (Yes), keep it
// (No) or replace it and all the others (All); no answer copies nothing. Refuses to copy
// a key onto itself, and with `subtree` into a key below itself.
//
// Off Windows every write is one store transaction: other processes see the whole copy
// or none of it, and a key or value the registry refuses copies nothing. Returns the
// process exit status and says on `err` what failed.
int CopyKey(const RegPath& from, const RegPath& to, bool subtree, bool force, FILE* in, FILE* out,
            FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGCOPY_H_
