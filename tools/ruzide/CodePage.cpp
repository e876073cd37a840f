#include "CodePage.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>

namespace ruzide {
namespace tool {

namespace {

constexpr int kPrimaryLanguageChinese = 0x04;
constexpr int kSublanguageSimplified = 0x02;  // PRC
constexpr int kSublanguageSingapore = 0x04;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

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

#ifdef _WIN32
bool FromUtf8(const std::string& utf8, int code_page, std::string* out) {
  out->clear();
  if (utf8.empty()) return true;
  const int n = static_cast<int>(utf8.size());
  const int wide_size =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
  if (wide_size <= 0) return false;
  std::wstring wide(static_cast<size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, &wide[0], wide_size);
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(static_cast<UINT>(code_page), WC_NO_BEST_FIT_CHARS,
                                       wide.data(), wide_size, nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return false;
  out->resize(static_cast<size_t>(size));
  WideCharToMultiByte(static_cast<UINT>(code_page), WC_NO_BEST_FIT_CHARS, wide.data(), wide_size,
                      &(*out)[0], size, nullptr, &lossy);
  return !lossy;
}
#else
bool FromUtf8(const std::string& utf8, int code_page, std::string* out) {
  out->clear();
  const std::string to = "CP" + std::to_string(code_page);
  iconv_t cd = iconv_open(to.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  bool ok = true;
  char buffer[256];
  while (ok && in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    const size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    ok = rc != static_cast<size_t>(-1) || errno == E2BIG;
  }
  iconv_close(cd);
  return ok;
}
#endif

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
