// Registry values and the text the `reg` commands take and show for them.
//
// Strings are bytes in the code page of the process that wrote them; the registry
// functions do not know which. The tool takes them to be in one code page (/cp) to show
// them, and otherwise passes them on unconverted.
#ifndef RUZIDE_TOOLS_RUZIDE_REGVALUE_H_
#define RUZIDE_TOOLS_RUZIDE_REGVALUE_H_

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace ruzide {
namespace tool {

struct RegValue {
  std::string name;  // empty for the key's unnamed value
  DWORD type = REG_NONE;
  std::string data;  // exactly the stored bytes
};

// "REG_SZ", "REG_DWORD", ...; a type without a name as its number, "0x1234".
std::string TypeName(DWORD type);

// The type `name` (any case) stands for, of those `reg add` writes: REG_NONE, REG_SZ,
// REG_EXPAND_SZ, REG_BINARY, REG_DWORD (or REG_DWORD_LITTLE_ENDIAN), REG_DWORD_BIG_ENDIAN,
// REG_MULTI_SZ and REG_QWORD.
bool ParseTypeName(const std::string& name, DWORD* type);

// The bytes `reg add` stores for `text`, given (in `code_page`) as the data of a value of
// `type`, as Windows' reg stores them for a program that reads them through the 8-bit
// functions in that code page:
//   REG_SZ, REG_EXPAND_SZ: the string and its zero.
//   REG_MULTI_SZ: the strings, separated in `text` by `separator` (one character) or,
//     when that is empty, by the two characters \0, each with its zero, and a zero more;
//     an empty string between two others, or first, is refused.
//   REG_NONE: the string as UTF-16LE with its zero, which is what Windows' reg stores and
//     the 8-bit functions hand back unconverted for this type.
//   REG_DWORD, REG_DWORD_BIG_ENDIAN (stored like REG_DWORD, least significant byte first,
//     as Windows' reg does), REG_QWORD: decimal digits, or 0x and hexadecimal ones;
//     REG_QWORD also takes a minus sign; empty text is 0.
//   REG_BINARY: hexadecimal digits, two per byte; with an odd number the first stands
//     alone for a byte.
// On failure `error` says why.
bool DataFromText(DWORD type, const std::string& text, const std::string& separator, int code_page,
                  std::string* data, std::string* error);

// How `reg query` shows a value: the code page of its text (0: as Printable shows it),
// the separator shown between the strings of a REG_MULTI_SZ (in the terminal's
// encoding), and with `type_numbers` (/z) each type's number after its name.
struct ValueStyle {
  int code_page = 0;
  std::string separator = "\\0";
  bool type_numbers = false;
};

// The data as `reg query` shows it: strings without their terminating zero, the strings
// of a REG_MULTI_SZ joined by the style's separator, REG_DWORD, REG_DWORD_BIG_ENDIAN and
// REG_QWORD as 0x-prefixed hexadecimal numbers, everything else (and numbers of the wrong
// size) as hexadecimal bytes. Strings are shown as TextForDisplay shows them.
std::string DataForDisplay(const RegValue& value, const ValueStyle& style = ValueStyle());

// The line, without its end, that `reg query` (and its search) prints for a value: four
// spaces, the name or (Default), four spaces, the type ("REG_SZ", or with type numbers
// "REG_SZ (1)"), four spaces and the data.
std::string ValueLine(const RegValue& value, const ValueStyle& style);

// `bytes` with printable ASCII as it is and every other byte as \xNN.
std::string Printable(const std::string& bytes);

// A value by its name, for messages: "value 'name'", or "the unnamed value".
std::string ValueLabel(const std::string& name);

// `bytes`, text in `code_page`, in the terminal's encoding (UTF-8; on Windows the ANSI
// code page), control characters as \xNN; text that does not convert is shown as
// Printable shows it, and so is all text when `code_page` is 0.
std::string TextForDisplay(const std::string& bytes, int code_page);


// The value of hexadecimal digit `c`, or -1 when it is none.
int HexDigit(char c);

// The low `size` bytes of `number`, least significant first, as registry numbers are kept;
// and back.
std::string LittleEndian(uint64_t number, size_t size);
uint64_t FromLittleEndian(const std::string& bytes);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGVALUE_H_
