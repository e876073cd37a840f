#include "RegValue.h"

#include <strings.h>

#include <cstdio>
#include <vector>

#include "CodePage.h"
#include "Number.h"

namespace ruzide {
namespace tool {

namespace {

// Indexed by type number; the names Windows gives types 0 to 11.
const char* const kTypeNames[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};
constexpr DWORD kTypeCount = sizeof kTypeNames / sizeof kTypeNames[0];

const DWORD kWritableTypes[] = {REG_NONE,     REG_SZ,    REG_EXPAND_SZ,
                                REG_BINARY,   REG_DWORD, REG_DWORD_BIG_ENDIAN,
                                REG_MULTI_SZ, REG_QWORD};

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos;) {
    parts.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string HexBytes(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char b : bytes) {
    snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

// The strings of a REG_MULTI_SZ, each with its zero, and the zero that ends the list, as
// Windows' reg makes them of its command line: in UTF-16, a separator and each \0 (when
// there is no separator) becoming a zero. "a\0" is "a", and a lone separator one empty
// string; an empty string anywhere else would end the list early for every reader.
bool MultiStringFromText(const std::u16string& text, const std::u16string& separator,
                         std::u16string* strings) {
  strings->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (separator.empty() && c == u'\\' && i + 1 < text.size() && text[i + 1] == u'0') {
      c = 0;
      ++i;
    } else if (!separator.empty() && c == separator[0]) {
      c = 0;
    }
    strings->push_back(c);
    const size_t n = strings->size();
    if (n >= 2 && (*strings)[n - 2] == 0 && ((*strings)[n - 1] == 0 || n == 2)) return false;
  }
  if (!strings->empty() && strings->back() != 0) strings->push_back(0);
  strings->push_back(0);
  return true;
}

// The bytes of hexadecimal `text`, two digits each; an odd first digit is a byte alone.
bool BytesFromHex(const std::string& text, std::string* data, std::string* error) {
  data->clear();
  int byte = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) {
      *error = "'" + text + "' is not hexadecimal bytes (two digits each, like 0102ff)";
      return false;
    }
    byte = byte * 16 + digit;
    if ((text.size() - i) % 2 == 1) {
      *data += static_cast<char>(byte);
      byte = 0;
    }
  }
  return true;
}

// A number as Windows' reg takes it: decimal, or hexadecimal after 0x; negative ones
// only for REG_QWORD, as their two's complement.
bool NumberFromText(DWORD type, const std::string& text, std::string* data, std::string* error) {
  const int bits = type == REG_QWORD ? 64 : 32;
  uint64_t number = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() &&
      ((negative && bits == 32) || text[0] == '+' || !ParseNumber(text.c_str(), bits, &number))) {
    *error = "'" + text + "' is not a number (decimal, or hexadecimal with 0x, " +
             std::to_string(bits) + " bits)";
    return false;
  }
  *data = LittleEndian(number, static_cast<size_t>(bits / 8));
  return true;
}

std::string CodePageError(int code_page) {
  return "the data is not text in code page " + std::to_string(code_page);
}

}  // namespace

std::string TypeName(DWORD type) {
  if (type < kTypeCount) return kTypeNames[type];
  char number[16];
  snprintf(number, sizeof number, "0x%X", static_cast<unsigned int>(type));
  return number;
}

bool ParseTypeName(const std::string& name, DWORD* type) {
  if (strcasecmp(name.c_str(), "REG_DWORD_LITTLE_ENDIAN") == 0) {
    *type = REG_DWORD;
    return true;
  }
  for (DWORD t : kWritableTypes) {
    if (strcasecmp(name.c_str(), kTypeNames[t]) == 0) {
      *type = t;
      return true;
    }
  }
  return false;
}

bool DataFromText(DWORD type, const std::string& text, const std::string& separator, int code_page,
                  std::string* data, std::string* error) {
  std::u16string unicode, sep, strings;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      *data = text;
      *data += '\0';
      return true;
    case REG_MULTI_SZ:
      if (!ToUtf16(text, code_page, &unicode) || !ToUtf16(separator, code_page, &sep)) {
        *error = CodePageError(code_page);
        return false;
      }
      if (!MultiStringFromText(unicode, sep, &strings)) {
        *error = "REG_MULTI_SZ data holds an empty string";
        return false;
      }
      if (!FromUtf16(strings, code_page, data)) {
        *error = CodePageError(code_page);
        return false;
      }
      return true;
    case REG_NONE:
      if (!ToUtf16(text, code_page, &unicode)) {
        *error = CodePageError(code_page);
        return false;
      }
      data->clear();
      for (char16_t unit : unicode + u'\0') *data += LittleEndian(unit, 2);
      return true;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD:
      return NumberFromText(type, text, data, error);
    default:
      return BytesFromHex(text, data, error);
  }
}

namespace {

bool IsNumber(const RegValue& value) {
  const size_t size = value.type == REG_QWORD ? 8 : 4;
  return (value.type == REG_DWORD || value.type == REG_DWORD_BIG_ENDIAN ||
          value.type == REG_QWORD) &&
         value.data.size() == size;
}

}  // namespace

std::string DataForDisplay(const RegValue& value, const ValueStyle& style) {
  const std::string& data = value.data;
  if (IsNumber(value)) {
    char number[24];
    snprintf(number, sizeof number, "0x%llx",
             static_cast<unsigned long long>(FromLittleEndian(data)));
    return number;
  }
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      const bool terminated = !data.empty() && data.back() == '\0';
      return TextForDisplay(data.substr(0, data.size() - terminated), style.code_page);
    }
    case REG_MULTI_SZ: {
      std::string strings = data;
      // The list ends with an empty string: two zeros, or one when the list is empty.
      if (!strings.empty() && strings.back() == '\0') strings.pop_back();
      if (!strings.empty() && strings.back() == '\0') strings.pop_back();
      const std::vector<std::string> parts = Split(strings, std::string(1, '\0'));
      std::string shown;
      for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) shown += style.separator;
        shown += TextForDisplay(parts[i], style.code_page);
      }
      return shown;
    }
    default:
      return HexBytes(data);
  }
}

std::string ValueLine(const RegValue& value, const ValueStyle& style) {
  std::string line = "    ";
  line += value.name.empty() ? "(Default)" : TextForDisplay(value.name, style.code_page);
  line += "    " + TypeName(value.type);
  if (style.type_numbers) line += " (" + std::to_string(value.type) + ")";
  return line + "    " + DataForDisplay(value, style);
}

std::string Printable(const std::string& bytes) {
  std::string out;
  char escape[5];
  for (unsigned char b : bytes) {
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      snprintf(escape, sizeof escape, "\\x%02X", b);
      out += escape;
    }
  }
  return out;
}

std::string ValueLabel(const std::string& name) {
  return name.empty() ? "the unnamed value" : "value '" + Printable(name) + "'";
}

std::string TextForDisplay(const std::string& bytes, int code_page) {
  std::u16string text;
  if (code_page == 0 || !ToUtf16(bytes, code_page, &text)) return Printable(bytes);
  std::string out, one;
  char escape[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const size_t units = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() ? 2 : 1;
    if (c >= 0x20 && c != 0x7F && FromUtf16(text.substr(i, units), TerminalCodePage(), &one)) {
      out += one;
    } else {
      // A control character, or one the terminal's encoding does not have.
      for (size_t k = i; k < i + units; ++k) {
        const unsigned int unit = text[k];
        snprintf(escape, sizeof escape, unit < 0x100 ? "\\x%02X" : "\\u%04X", unit);
        out += escape;
      }
    }
    i += units - 1;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string LittleEndian(uint64_t number, size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
  return bytes;
}

uint64_t FromLittleEndian(const std::string& bytes) {
  uint64_t number = 0;
  for (size_t i = bytes.size(); i-- > 0;) {
    number = number << 8 | static_cast<unsigned char>(bytes[i]);
  }
  return number;
}

}  // namespace tool
}  // namespace ruzide
