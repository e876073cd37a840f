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
// that every value reads back exactly as it was. Strings are the registry functions'
// 8-bit bytes, unconverted.
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
};

// One [key] section.
struct RegFileKey {
  RegPath path;
  bool remove = false;  // [-key]: delete the key and everything below it
  std::vector<RegFileValue> values;
  int line = 0;  // where the section starts, in a parsed file
};

// The text of a .reg file holding `keys`, in order. Fails, with `error` saying why, when
// a key or value name holds a line break, which the format cannot carry.
bool WriteRegFile(const std::vector<RegFileKey>& keys, std::string* text, std::string* error);

// Parses the whole of `text`. Besides what WriteRegFile writes it takes a REGEDIT4 header,
// a UTF-8 byte order mark, CRLF line ends, blank lines, comments (lines starting with ;),
// blanks around = and commas, abbreviated roots, and lines continued by a final
// backslash. Anything else fails, with the (first) number of the line at fault in `line`
// and the reason in `error`, and so does a file cut short: a value continued into the end
// of the file, or a dword: or hex value on a last line that has no line end.
bool ParseRegFile(const std::string& text, std::vector<RegFileKey>* keys, int* line,
                  std::string* error);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGFORMAT_H_
