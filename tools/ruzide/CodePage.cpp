#include "CodePage.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ruzide {
namespace tool {

namespace {

constexpr int kPrimaryLanguageChinese = 0x04;
constexpr int kSublanguageSimplified = 0x02;  // PRC
constexpr int kSublanguageSingapore = 0x04;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr int kUtf8 = 65001;

#ifndef _WIN32
// Code page 1252 from 0x80 to 0x9F, as Windows maps it; every other byte is the
// character of the same number.
const char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool To1252(const std::u16string& text, std::string* out) {
  for (char16_t c : text) {
    int byte = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? c : -1;
    for (int i = 0; byte < 0 && i < 32; ++i) {
      if (k1252High[i] == c) byte = 0x80 + i;
    }
    if (byte < 0) return false;
    *out += static_cast<char>(byte);
  }
  return true;
}

// All of `in` converted by iconv; false when there is no converter or a sequence does not
// convert.
bool Iconv(const std::string& from, const std::string& to, const std::string& in,
           std::string* out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buffer[1024];
  bool ok = true;
  while (ok && left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    const size_t rc = iconv(cd, &src, &left, &dst, &room);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    ok = rc != static_cast<size_t>(-1) || errno == E2BIG;
  }
  char* dst = buffer;
  size_t room = sizeof buffer;
  // Ends a stateful encoding in its initial state.
  if (ok) ok = iconv(cd, nullptr, nullptr, &dst, &room) != static_cast<size_t>(-1);
  out->append(buffer, static_cast<size_t>(dst - buffer));
  iconv_close(cd);
  return ok;
}

std::string IconvName(int code_page) { return "CP" + std::to_string(code_page); }
#endif

#ifndef _WIN32
// Converts with an open iconv descriptor, replacing each byte that does not convert.
std::string Convert(iconv_t cd, const char* text) {
  std::string out;
  char* in = const_cast<char*>(text);
  size_t in_left = strlen(text);
  char buffer[256];
  while (in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    const size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip the offending byte and start afresh after it.
    out += kReplacement;
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}
#endif

}  // namespace

int DefaultCodePage() {
  const char* set = getenv("RUZIDE_CODEPAGE");
  if (set != nullptr && atoi(set) > 0) return atoi(set);
#ifdef _WIN32
  return static_cast<int>(GetACP());
#else
  return 1252;
#endif
}

int TerminalCodePage() {
#ifdef _WIN32
  return static_cast<int>(GetACP());
#else
  return kUtf8;
#endif
}

bool CodePageKnown(int code_page) {
  std::u16string text;
  return code_page > 0 && ToUtf16("A", code_page, &text);
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80   ? 1
                          : lead < 0xC2 ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                          : lead < 0xF5 ? 4
                                        : 0;
    if (length == 0 || i + length > utf8.size()) return false;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      c = 0xDC00 + ((c - 0x10000) & 0x3FF);
    }
    out->push_back(static_cast<char16_t>(c));
    i += length;
  }
  return true;
}

bool Utf16ToUtf8(const std::u16string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

#ifdef _WIN32
bool ToUtf16(const std::string& bytes, int code_page, std::u16string* out) {
  out->clear();
  if (code_page == kUtf8) return Utf8ToUtf16(bytes, out);
  if (bytes.empty()) return IsValidCodePage(static_cast<UINT>(code_page)) != 0;
  const int n = static_cast<int>(bytes.size());
  const UINT cp = static_cast<UINT>(code_page);
  const int size = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
  if (size <= 0) return false;
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, &wide[0], size);
  out->assign(wide.begin(), wide.end());
  return true;
}

namespace {
// `text`, also given as `utf8`, in a code page other than UTF-8.
bool FromUtf16InCodePage(const std::u16string& text, const std::string&, int code_page,
                         std::string* out) {
  if (text.empty()) return true;
  const std::wstring wide(text.begin(), text.end());
  const int n = static_cast<int>(wide.size());
  const UINT cp = static_cast<UINT>(code_page);
  BOOL lossy = FALSE;
  const int size =
      WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return false;
  out->resize(static_cast<size_t>(size));
  WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide.data(), n, &(*out)[0], size, nullptr, &lossy);
  return !lossy;
}
}  // namespace
#else
bool ToUtf16(const std::string& bytes, int code_page, std::u16string* out) {
  out->clear();
  if (code_page == kUtf8) return Utf8ToUtf16(bytes, out);
  if (code_page == 1252) {
    for (unsigned char b : bytes) out->push_back(b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : b);
    return true;
  }
  std::string le;
  if (!Iconv(IconvName(code_page), "UTF-16LE", bytes, &le)) return false;
  for (size_t i = 0; i + 1 < le.size(); i += 2) {
    out->push_back(static_cast<char16_t>(static_cast<unsigned char>(le[i]) |
                                         static_cast<unsigned char>(le[i + 1]) << 8));
  }
  return true;
}

namespace {
// `text`, also given as `utf8`, in a code page other than UTF-8.
bool FromUtf16InCodePage(const std::u16string& text, const std::string& utf8, int code_page,
                         std::string* out) {
  if (code_page == 1252) return To1252(text, out);
  return Iconv("UTF-8", IconvName(code_page), utf8, out);
}
}  // namespace
#endif

bool FromUtf16(const std::u16string& text, int code_page, std::string* out) {
  out->clear();
  std::string utf8;
  if (!Utf16ToUtf8(text, &utf8)) return false;  // an unpaired surrogate
  if (code_page == kUtf8) return (*out = utf8), true;
  return FromUtf16InCodePage(text, utf8, code_page, out);
}

int CodePageOf(int lang_id) {
  const int primary = lang_id & 0x3FF;
  const int sub = (lang_id >> 10) & 0x3F;
  if (primary == kPrimaryLanguageChinese &&
      (sub == kSublanguageSimplified || sub == kSublanguageSingapore)) {
    return 936;
  }
  return 1252;
}

#ifdef _WIN32
// The system converts through UTF-16; bytes that do not convert become U+FFFD.
std::string ToUtf8(const char* text, int code_page) {
  const int wide_size = MultiByteToWideChar(static_cast<UINT>(code_page), 0, text, -1, nullptr, 0);
  if (wide_size <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(wide_size), L'\0');
  MultiByteToWideChar(static_cast<UINT>(code_page), 0, text, -1, &wide[0], wide_size);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);  // without the terminating zero
  return out;
}
#else
std::string ToUtf8(const char* text, int code_page) {
  const std::string from = "CP" + std::to_string(code_page);
  iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // No converter for that code page: ASCII passes, everything else is replaced.
    std::string out;
    for (const char* p = text; *p; ++p) {
      if (static_cast<unsigned char>(*p) < 0x80) {
        out += *p;
      } else {
        out += kReplacement;
      }
    }
    return out;
  }
  std::string out = Convert(cd, text);
  iconv_close(cd);
  return out;
}
#endif

bool FromUtf8(const std::string& utf8, int code_page, std::string* out) {
  std::u16string text;
  out->clear();
  return Utf8ToUtf16(utf8, &text) && FromUtf16(text, code_page, out);
}

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < text.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

}  // namespace tool
}  // namespace ruzide
