// CString: the 8-bit text class of the Windows class library, as far as RuzIde uses it.
//
// Text is a sequence of bytes in the process's multibyte code page, without embedded
// zeros. Every operation is inline: the library exports classes that hold CStrings, and
// applications must be able to use them without linking anything of ours.
#ifndef RUZIDE_PLATFORM_CSTRING_H_
#define RUZIDE_PLATFORM_CSTRING_H_

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/MbString.h"

class CString {
 public:
  CString() = default;
  CString(const char* text) : text_(text ? text : "") {}  // NOLINT: implicit, as on Windows
  CString(const char* text, int length) {
    if (text && length > 0) text_.assign(text, strnlen(text, static_cast<size_t>(length)));
  }
  explicit CString(char ch, int repeat = 1) : text_(repeat > 0 ? static_cast<size_t>(repeat) : 0, ch) {}
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const char* text) {
    text_ = text ? text : "";
    return *this;
  }
  CString& operator=(char ch) {
    text_.assign(1, ch);
    return *this;
  }

  // Length in bytes, not counting the terminating zero.
  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }
  const char* GetString() const { return text_.c_str(); }
  operator const char*() const { return text_.c_str(); }  // NOLINT: implicit, as on Windows

  // The byte at `index`, which must lie in [0, GetLength()].
  char GetAt(int index) const { return text_[static_cast<size_t>(index)]; }
  char operator[](int index) const { return GetAt(index); }
  void SetAt(int index, char ch) { text_[static_cast<size_t>(index)] = ch; }

  // printf-style formatting into this string.
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
  {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
  }
  void FormatV(const char* format, va_list args) {
    if (!format) {
      text_.clear();
      return;
    }
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) {
      text_.clear();
    } else if (static_cast<size_t>(n) < sizeof small) {
      text_.assign(small, static_cast<size_t>(n));
    } else {
      text_.resize(static_cast<size_t>(n));
      vsnprintf(&text_[0], static_cast<size_t>(n) + 1, format, args);
    }
  }

  // Substrings; out-of-range arguments are clipped as the Windows class does.
  CString Left(int count) const { return Mid(0, count); }
  CString Right(int count) const {
    if (count < 0) count = 0;
    if (count > GetLength()) count = GetLength();
    return Mid(GetLength() - count, count);
  }
  CString Mid(int first) const { return Mid(first, GetLength()); }
  CString Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first > GetLength()) first = GetLength();
    if (count > GetLength() - first) count = GetLength() - first;
    CString out;
    out.text_.assign(text_, static_cast<size_t>(first), static_cast<size_t>(count));
    return out;
  }

  // The index of the first `ch` at or after `start`, or -1.
  int Find(char ch, int start = 0) const {
    if (start < 0 || start >= GetLength()) return -1;
    size_t at = text_.find(ch, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
  }

  CString& operator+=(const CString& other) {
    text_ += other.text_;
    return *this;
  }
  CString& operator+=(const char* text) {
    if (text) text_ += text;
    return *this;
  }
  CString& operator+=(char ch) {
    text_ += ch;
    return *this;
  }

  // Exact comparison (_mbscmp) and comparison ignoring case (_mbsicmp): <0, 0 or >0.
  int Compare(const char* other) const {
    return _mbscmp(reinterpret_cast<const unsigned char*>(GetString()),
                   reinterpret_cast<const unsigned char*>(other ? other : ""));
  }
  int CompareNoCase(const char* other) const {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(GetString()),
                    reinterpret_cast<const unsigned char*>(other ? other : ""));
  }

  friend CString operator+(const CString& a, const CString& b) {
    CString out(a);
    out += b;
    return out;
  }
  friend CString operator+(const CString& a, const char* b) {
    CString out(a);
    out += b;
    return out;
  }
  friend CString operator+(const char* a, const CString& b) {
    CString out(a);
    out += b;
    return out;
  }
  friend CString operator+(const CString& a, char b) {
    CString out(a);
    out += b;
    return out;
  }

  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
  friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
  friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator!=(const char* a, const CString& b) { return !(a == b); }
  friend bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
  friend bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
  friend bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
  friend bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }

 private:
  std::string text_;
};

#endif  // RUZIDE_PLATFORM_CSTRING_H_
