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

// The type `name` (any case) stands for, of those `reg add` can write: REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY and REG_NONE.
bool ParseTypeName(const std::string& name, DWORD* type);

// The bytes to store for `text` given as the data of a value of `type`: a string and its
// zero; strings separated by the two characters \0 for REG_MULTI_SZ; a number (see
// ParseNumber) for REG_DWORD and REG_QWORD; hexadecimal digits, two per byte, for the
// others. On failure `error` says why.
bool DataFromText(DWORD type, const std::string& text, std::string* data, std::string* error);

// The data as `reg query` shows it: strings without their terminating zero, the strings
// of a REG_MULTI_SZ joined by \0, REG_DWORD and REG_QWORD as 0x-prefixed hexadecimal
// numbers, everything else (and numbers of the wrong size) as hexadecimal bytes. Strings
// are shown as TextForDisplay shows them.
std::string DataForDisplay(const RegValue& value, int code_page = 0);

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
