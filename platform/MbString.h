// The multibyte string compare functions of the Windows C runtime.
//
// Text in RuzIde is 8-bit, in the process's multibyte code page. In a double-byte code
// page (such as 936) a lead byte starts a two-byte character whose second byte may look
// like an ASCII letter: that byte is never folded on its own. The functions are inline
// so that the library exports nothing of them.
#ifndef RUZIDE_PLATFORM_MBSTRING_H_
#define RUZIDE_PLATFORM_MBSTRING_H_

#ifdef _WIN32
#include <mbctype.h>
#include <mbstring.h>
#else

#include <cstddef>

namespace ruzide {
namespace mbcs {

// The code page the compare functions work in. Starts as 1252 and changes only through
// _setmbcp.
inline int& ActiveCodePage() {
  static int code_page = 1252;
  return code_page;
}

// True when `b` starts a two-byte character in the double-byte code page `cp`.
inline bool IsLeadByte(int cp, unsigned char b) {
  switch (cp) {
    case 932:  // Japanese
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:  // Simplified Chinese
    case 949:  // Korean
    case 950:  // Traditional Chinese
      return b >= 0x81 && b <= 0xFE;
    default:
      return false;
  }
}

// Lower-case form of a single-byte character: ASCII letters fold, in every code page,
// and nothing else. That is what the Windows runtime does in the "C" locale a program
// starts in: in a single-byte code page its _mbsicmp is _stricmp, which there folds
// ASCII alone, so "\xE7" (c cedilla in 1252) and "\xC7" stay different.
inline unsigned char FoldByte(unsigned char b) {
  return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + 32) : b;
}

// A run of lower-case double-byte characters in a code page, and how far below them
// their capitals lie: `first` to `last` are lower case and `first - to_upper` to
// `last - to_upper` their capitals, in the same order.
struct DoubleByteCase {
  int code_page;
  unsigned first, last, to_upper;
};

// The letters with case among the double-byte characters of each code page: full-width
// Latin, Greek, Cyrillic, Roman numerals and (949) the extended Latin letters. The
// Windows runtime upper-cases double-byte characters through the code page's Unicode
// mapping, which pairs exactly these.
inline const DoubleByteCase* DoubleByteCases(size_t* count) {
  static const DoubleByteCase kCases[] = {
      {932, 0x8281, 0x829A, 0x21},  {932, 0x83BF, 0x83D6, 0x20},   {932, 0x8470, 0x847E, 0x30},
      {932, 0x8480, 0x8491, 0x31},  {932, 0xFA40, 0xFA49, 0x72EC}, {936, 0xA2A1, 0xA2AA, -0x50u},
      {936, 0xA3E1, 0xA3FA, 0x20},  {936, 0xA6C1, 0xA6D8, 0x20},   {936, 0xA7D1, 0xA7F1, 0x30},
      {949, 0xA3E1, 0xA3FA, 0x20},  {949, 0xA5A1, 0xA5AA, -0xFu},  {949, 0xA5E1, 0xA5F8, 0x20},
      {949, 0xA9A1, 0xA9A1, 0x100}, {949, 0xA9A3, 0xA9A3, 0x101},  {949, 0xA9A4, 0xA9A4, 0x100},
      {949, 0xA9A6, 0xA9A6, 0x100}, {949, 0xA9A8, 0xA9AB, 0x100},  {949, 0xA9AD, 0xA9AF, 0x100},
      {949, 0xACD1, 0xACF1, 0x30},  {950, 0xA2E9, 0xA2FE, 0x1A},   {950, 0xA340, 0xA343, 0x5B},
      {950, 0xA35C, 0xA373, 0x18},
  };
  *count = sizeof kCases / sizeof kCases[0];
  return kCases;
}

// The capital of the double-byte character `c` (lead byte << 8 | trail byte) in code
// page `cp`, or `c` itself.
inline unsigned UpperDoubleByte(int cp, unsigned c) {
  size_t count = 0;
  const DoubleByteCase* cases = DoubleByteCases(&count);
  for (size_t i = 0; i < count; ++i) {
    if (cases[i].code_page == cp && c >= cases[i].first && c <= cases[i].last)
      return c - cases[i].to_upper;
  }
  return c;
}

// Compares whole strings, one character at a time, as the Windows runtime does: a
// single-byte character folds to lower case, a double-byte one to its capital. Returns
// <0, 0 or >0.
inline int Compare(const char* a, const char* b, bool ignore_case) {
  const int cp = ActiveCodePage();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    unsigned x = *p, y = *q;
    const bool x_double = IsLeadByte(cp, *p) && p[1] != 0;
    const bool y_double = IsLeadByte(cp, *q) && q[1] != 0;
    if (x_double) x = x << 8 | p[1];
    if (y_double) y = y << 8 | q[1];
    if (ignore_case) {
      x = x_double ? UpperDoubleByte(cp, x) : FoldByte(static_cast<unsigned char>(x));
      y = y_double ? UpperDoubleByte(cp, y) : FoldByte(static_cast<unsigned char>(y));
    }
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
    p += x_double ? 2 : 1;
    q += y_double ? 2 : 1;
  }
}

}  // namespace mbcs
}  // namespace ruzide

// Sets the multibyte code page used by _mbscmp and _mbsicmp; 0 on success, -1 for a
// code page this implementation does not know.
inline int _setmbcp(int code_page) {
  switch (code_page) {
    case 932:
    case 936:
    case 949:
    case 950:
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
      ruzide::mbcs::ActiveCodePage() = code_page;
      return 0;
    default:
      return -1;
  }
}

inline int _getmbcp() { return ruzide::mbcs::ActiveCodePage(); }

// Exact, byte-for-byte comparison of two whole strings.
inline int _mbscmp(const unsigned char* a, const unsigned char* b) {
  return ruzide::mbcs::Compare(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b),
                               false);
}

// Comparison of two whole strings without regard to letter case; the second byte of a
// double-byte character is never folded.
inline int _mbsicmp(const unsigned char* a, const unsigned char* b) {
  return ruzide::mbcs::Compare(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b),
                               true);
}

#endif  // _WIN32
#endif  // RUZIDE_PLATFORM_MBSTRING_H_
