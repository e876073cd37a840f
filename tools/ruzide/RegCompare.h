// `reg compare <KEY1> <KEY2>`: compares two keys' values, and their subkeys, as Windows'
// reg command does, exit status included.
#ifndef RUZIDE_TOOLS_RUZIDE_REGCOMPARE_H_
#define RUZIDE_TOOLS_RUZIDE_REGCOMPARE_H_

#include <cstdio>
#include <string>

#include "RegPath.h"

namespace ruzide {
namespace tool {

// Which comparisons are printed: /od (the default), /os, /oa, /on.
enum class CompareOutput { kDifferences, kMatches, kAll, kNothing };

// The exit status of a comparison that found the keys different; 0 is identical and
// kExitFailure an error, as for Windows' reg compare.
constexpr int kExitDifferent = 2;

// Compares the values of the keys `left` and `right` by name, type and data, and the
// names of their subkeys; with `subtree` also every pair of subkeys both have, all the
// way down. With `value` set only that value is compared (the unnamed one for an empty
// name), in each pair of keys, and subkeys are not listed. Prints a line per comparison
// `output` asks for: "< " what only `left` has or its side of a difference, "> " the
// same for `right`, "= " what both have alike; each "Key: <path>" or
// "Value: <key path>  <name>  <type>  <data>"; then "Result Compared: Identical" or
// "Result Compared: Different". Returns 0, kExitDifferent, or kExitFailure after saying
// on `err` which key could not be read, or that neither key has `value`.
int CompareKeys(const RegPath& left, const RegPath& right, const std::string* value, bool subtree,
                CompareOutput output, FILE* out, FILE* err);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGCOMPARE_H_
