// The numbers the ruzide tool takes on its command line.
#ifndef RUZIDE_TOOLS_RUZIDE_NUMBER_H_
#define RUZIDE_TOOLS_RUZIDE_NUMBER_H_

#include <cstdint>

namespace ruzide {
namespace tool {

// Parses a whole decimal number (with an optional sign) or a 0x-prefixed hexadecimal one
// that fits `bits` bits (32 or 64), signed or unsigned, into its two's-complement bits:
// with 32 bits, 4294967295 and -1 are the same value. Nothing else is accepted, not even
// surrounding spaces.
bool ParseNumber(const char* text, int bits, uint64_t* out);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_NUMBER_H_
