#include "Number.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace ruzide {
namespace tool {

namespace {

// True when `text` is one or more characters, each accepted by `is_digit`.
bool AllDigits(const char* text, int (*is_digit)(int)) {
  if (*text == '\0') return false;
  for (; *text; ++text) {
    if (!is_digit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

}  // namespace

bool ParseNumber(const char* text, int bits, uint64_t* out) {
  const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const bool negative = !hex && text[0] == '-';
  const char* digits = hex ? text + 2 : text + (text[0] == '-' || text[0] == '+');
  if (!AllDigits(digits, hex ? isxdigit : isdigit)) return false;
  errno = 0;
  const unsigned long long magnitude = strtoull(digits, nullptr, hex ? 16 : 10);
  if (errno != 0) return false;
  const uint64_t all = bits >= 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1;
  if (negative) {
    // Down to the smallest signed number of that width, whose magnitude is all/2 + 1.
    if (magnitude > all / 2 + 1) return false;
    *out = (~uint64_t{magnitude} + 1) & all;
  } else {
    if (magnitude > all) return false;
    *out = magnitude;
  }
  return true;
}

}  // namespace tool
}  // namespace ruzide
