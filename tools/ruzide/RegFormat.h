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

#include <functional>
#include <memory>
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

// Where a .reg file's bytes come from: fills `buffer` with up to `size` bytes and returns
// how many, 0 at the end of the file (or on a read error, which the source remembers).
using RegByteSource = std::function<size_t(char* buffer, size_t size)>;
// Where they go: false, with errno set, when they could not be written.
using RegByteSink = std::function<bool(const char* bytes, size_t size)>;

// Writes a .reg file as it is given its keys and values, in `dialect`, with CRLF line
// ends and long hex data wrapped as the registry editor wraps it, so that a tree of any
// size is written in constant memory. Each call fails, with `error` saying why, when a
// key or value name holds a line break, which the format cannot carry, or, in the Unicode
// dialect, when a name or string is not text in `code_page`; nothing of that key or value
// is written then, and what was written before stays. When the sink fails, so does the
// call, `error` empty and errno the sink's.
class RegFileWriter {
 public:
  RegFileWriter(RegByteSink sink, RegDialect dialect, int code_page);
  // Begins the file with its header (and, in the Unicode dialect, a byte order mark).
  bool Header(std::string* error);
  // Begins a [key] section; the sections before it end with a blank line.
  bool Key(const RegPath& path, bool remove, std::string* error);
  bool Value(const RegFileValue& entry, std::string* error);
  // Ends the last section.
  bool Finish(std::string* error);

 private:
  bool Put(const std::string& text, std::string* error);

  RegByteSink sink_;
  bool unicode_;
  int code_page_;
  RegPath key_;
  bool in_section_ = false;
};

// The bytes of a .reg file holding `keys`, in order, as RegFileWriter writes them.
bool WriteRegFile(const std::vector<RegFileKey>& keys, RegDialect dialect, int code_page,
                  std::string* file, std::string* error);

// One entry of a .reg file: a [key] line or a value line with its continuations.
struct RegFileEntry {
  enum Kind { kKey, kValue } kind = kKey;
  int line = 0;        // where the entry starts
  RegFileKey key;      // kKey: the key's path and whether it is deleted (no values)
  RegFileValue value;  // kValue: in the store's text, the code page
  // Why the entry is malformed, or empty. A value under a malformed or deleted key, or
  // before the first key, is malformed too.
  std::string error;
};

// Reads a .reg file of either dialect from `source`, one entry at a time, holding no more
// than its longest line: UTF-16LE with a byte order mark, UTF-8 with one, or else 8-bit.
// An 8-bit file under the Unicode header is read as UTF-8 when its first line holding a
// byte above 0x7F is valid UTF-8, as in the code page otherwise. Besides what
// RegFileWriter writes it takes LF line ends, blank lines and comments (lines starting
// with ;, and ; after the data), blanks around = and commas, abbreviated roots, and hex
// data continued by a final backslash over the lines that follow (blank lines and
// comments between them are passed over).
//
// An entry is malformed (`error`) for bad syntax, bad UTF-16 or UTF-8 on its line, text
// `code_page` has no characters for, data continued by a backslash other than hex, and a
// file cut short (a value continued into the end of the file, or a dword: or hex value on
// a last line that has no line end). The file as a whole is refused (Next returns false,
// `fatal` says why, at `fatal_line`) when its first line is not a header, its byte order
// mark disagrees with its text, it is big-endian UTF-16, or it cannot be read.
class RegFileReader {
 public:
  RegFileReader(RegByteSource source, int code_page);
  ~RegFileReader();
  RegFileReader(const RegFileReader&) = delete;
  RegFileReader& operator=(const RegFileReader&) = delete;

  // The next entry; false at the end of the file or when it is refused.
  bool Next(RegFileEntry* entry);
  const std::string& fatal() const { return fatal_; }
  int fatal_line() const { return fatal_line_; }

  struct Line;  // of the file, continuations joined

 private:
  class Lines;
  bool ReadHeader();
  void ReadKey(const Line& line, RegFileEntry* entry);
  void JoinContinuations(Line* line);
  void ReadValue(Line* line, RegFileEntry* entry);

  std::unique_ptr<Lines> lines_;
  int code_page_;
  bool started_ = false;
  bool data_unicode_ = false;  // the Unicode header: string types' hex data is UTF-16LE
  enum class Section { kNone, kOpen, kDeleted, kBad } section_ = Section::kNone;
  RegPath path_;  // of the section open
  std::string fatal_;
  int fatal_line_ = 0;
};

// Parses the whole of `file` with RegFileReader; fails at the first malformed entry, with
// its line in `line` and the reason in `error`.
bool ParseRegFile(const std::string& file, int code_page, std::vector<RegFileKey>* keys,
                  int* line, std::string* error);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_REGFORMAT_H_
