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

const DWORD kWritableTypes[] = {REG_SZ,    REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,
                                REG_QWORD, REG_BINARY,    REG_NONE};

const char kMultiSeparator[] = "\\0";  // as typed and shown: a backslash and a zero

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

bool MultiStringFromText(const std::string& text, std::string* data, std::string* error) {
  data->clear();
  std::vector<std::string> parts = Split(text, kMultiSeparator);
  // "a\0b\0" is "a\0b": a final separator only ends the last string.
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  if (parts.size() == 1 && parts[0].empty()) parts.clear();
  for (const std::string& part : parts) {
    // An empty string would end the list early for every reader.
    if (part.empty()) {
      *error = "REG_MULTI_SZ data holds an empty string";
      return false;
    }
    *data += part;
    *data += '\0';
  }
  *data += '\0';
  return true;
}

bool BytesFromHex(const std::string& text, std::string* data, std::string* error) {
  data->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0 || low < 0) {
      *error = "'" + text + "' is not hexadecimal bytes (two digits each, like 0102ff)";
      return false;
    }
    *data += static_cast<char>(high * 16 + low);
  }
  return true;
}

}  // namespace

std::string TypeName(DWORD type) {
  if (type < kTypeCount) return kTypeNames[type];
  char number[16];
  snprintf(number, sizeof number, "0x%X", static_cast<unsigned int>(type));
  return number;
}

bool ParseTypeName(const std::string& name, DWORD* type) {
  for (DWORD t : kWritableTypes) {
    if (strcasecmp(name.c_str(), kTypeNames[t]) == 0) {
      *type = t;
      return true;
    }
  }
  return false;
}

bool DataFromText(DWORD type, const std::string& text, std::string* data, std::string* error) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      *data = text;
      *data += '\0';
      return true;
    case REG_MULTI_SZ:
      return MultiStringFromText(text, data, error);
    case REG_DWORD:
    case REG_QWORD: {
      const int bits = type == REG_DWORD ? 32 : 64;
      uint64_t number = 0;
      if (!ParseNumber(text.c_str(), bits, &number)) {
        *error = "'" + text + "' is not a number (decimal, or hexadecimal with 0x, " +
                 std::to_string(bits) + " bits)";
        return false;
      }
      *data = LittleEndian(number, static_cast<size_t>(bits / 8));
      return true;
    }
    default:
      return BytesFromHex(text, data, error);
  }
}

std::string DataForDisplay(const RegValue& value, int code_page) {
  const std::string& data = value.data;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      const bool terminated = !data.empty() && data.back() == '\0';
      return TextForDisplay(data.substr(0, data.size() - terminated), code_page);
    }
    case REG_MULTI_SZ: {
      std::string strings = data;
      // The list ends with an empty string: two zeros, or one when the list is empty.
      if (!strings.empty() && strings.back() == '\0') strings.pop_back();
      if (!strings.empty() && strings.back() == '\0') strings.pop_back();
      const std::vector<std::string> parts = Split(strings, std::string(1, '\0'));
      std::string shown;
      for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) shown += kMultiSeparator;
        shown += TextForDisplay(parts[i], code_page);
      }
      return shown;
    }
    case REG_DWORD:
    case REG_QWORD:
      if (data.size() == (value.type == REG_DWORD ? 4u : 8u)) {
        char number[24];
        snprintf(number, sizeof number, "0x%llx",
                 static_cast<unsigned long long>(FromLittleEndian(data)));
        return number;
      }
      return HexBytes(data);
    default:
      return HexBytes(data);
  }
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
