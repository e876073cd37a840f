// The multibyte string compare functions of the Windows C runtime.
//
// Text in RuzIde is 8-bit, in the process's multibyte code page. In a double-byte code
// page (such as 936) a lead byte starts a two-byte character whose second byte may look
// like an ASCII letter; it is never case-folded. The functions are inline so that the
// library exports nothing of them.
#ifndef RUZIDE_PLATFORM_MBSTRING_H_
#define RUZIDE_PLATFORM_MBSTRING_H_

#ifdef _WIN32
#include <mbctype.h>
#include <mbstring.h>
#else

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

// Compares whole strings, one character at a time; a double-byte character compares
// as its two bytes, unfolded. Returns <0, 0 or >0.
inline int Compare(const char* a, const char* b, bool ignore_case) {
  const int cp = ActiveCodePage();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    unsigned char x = *p, y = *q;
    if (IsLeadByte(cp, x) && p[1] != 0) {
      // A double-byte character: compare both bytes exactly.
      if (x != y) return x < y ? -1 : 1;
      if (p[1] != q[1]) return p[1] < q[1] ? -1 : 1;
      p += 2;
      q += 2;
      continue;
    }
    if (ignore_case) {
      x = FoldByte(x);
      y = FoldByte(y);
    }
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
    ++p;
    ++q;
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
