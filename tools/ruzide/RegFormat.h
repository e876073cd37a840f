// The .reg text format, written by `reg export` and read by `reg import`.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Tessary]
//   @="the unnamed value"
//   "Path"="C:\\Temp"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//   "List"=hex(7):61,00,62,00,00
//   "Gone"=-
//
//   [-HKEY_CURRENT_USER\Software\Old]
//
// A string is written in quotes (with \ and " escaped) when it is a REG_SZ with exactly
// one terminating zero and no line break; every other value that is not a 4-byte
// REG_DWORD is written as its bytes, hex: for REG_BINARY and hex(type): for the rest, so
// that every value reads back exactly as it was.
//
// The format has two dialects, told apart by the header. Under
// "Windows Registry Editor Version 5.00" text is Unicode and the data of the string types
// (hex(1), hex(2), hex(7)) is UTF-16LE; the registry editor writes such files in UTF-16LE
// with a byte order mark. Under "REGEDIT4" text and string data are 8-bit, in the code
// page of the machine. The keys below hold what the registry's 8-bit functions hold:
// names and string data in `code_page`; reading and writing convert.
#ifndef RUZIDE_TOOLS_RUZIDE_REGFORMAT_H_
#define RUZIDE_TOOLS_RUZIDE_REGFORMAT_H_

#include <string>
#include <vector>

#include "RegPath.h"
#include "RegValue.h"

namespace ruzide {
namespace tool {

struct RegFileValue {
  RegValue value;
  bool remove = false;  // "name"=- : delete the value
  int line = 0;         // where the value starts, in a parsed file
  bool quoted = false;  // in a parsed file: the data was a string in quotes
};

enum class RegDialect {
  kUnicode,  // Windows Registry Editor Version 5.00, UTF-16LE with a byte order mark
  kAnsi,     // REGEDIT4: 8-bit, the bytes as stored
};

// One [key] section.
struct RegFileKey {
  RegPath path;
  bool remove = false;  // [-key]: delete the key and everything below it
  std::vector<RegFileValue> values;
  int line = 0;  // where the section starts, in a parsed file
};

// The bytes of a .reg file holding `keys`, in order, in `dialect`, with CRLF line ends
// and long hex data wrapped as the registry editor wraps it. Fails, with `error` saying
// why, when a key or value name holds a line break, which the format cannot carry, or,
// in the Unicode dialect, when a name or string is not text in `code_page`.
bool WriteRegFile(const std::vector<RegFileKey>& keys, RegDialect dialect, int code_page,
                  std::string* file, std::string* error);

// Parses the whole of `file`, of either dialect, as UTF-16LE with a byte order mark,
// UTF-8 with one, or else 8-bit; an 8-bit file under the Unicode header is taken as
// UTF-8 when it is valid UTF-8, as in the code page otherwise. Besides what WriteRegFile
// writes it takes LF line ends, blank lines and comments (lines starting with ;) after
// the header, which must be the first line, blanks around = and commas, abbreviated
// roots, and lines continued by a final backslash.
// Anything else fails, with the (first) number of the line at fault in `line` and the
// reason in `error`: bad UTF-16 or UTF-8, text `code_page` has no characters for, and a
// file cut short (a value continued into the end of the file, or a dword: or hex value
// on a last line that has no line end).
bool ParseRegFile(const std::string& file, int code_page, std::vector<RegFileKey>* keys,
                  int* line, std::string* error);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGFORMAT_H_
