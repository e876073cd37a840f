#include "RegFormat.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "CodePage.h"

namespace ruzide {
namespace tool {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
const char kOldHeader[] = "REGEDIT4";  // the 8-bit dialect, the same syntax
const char kBlanks[] = " \t";
const char kUtf16Mark[] = "\xFF\xFE";
const char kUtf8Mark[] = "\xEF\xBB\xBF";
// Hex data is broken after the first comma past this column, which keeps lines within
// 80 columns as the Windows registry editor does.
constexpr size_t kWrapColumn = 76;

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// True when the value reads back exactly from its quoted form.
bool IsPlainString(const RegValue& value) {
  const std::string& data = value.data;
  return value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1 &&
         !HasLineBreak(data);
}

// Counts in the units the registry editor wraps by: bytes of 8-bit text, UTF-16 code
// units of Unicode text (given as UTF-8).
size_t Columns(const std::string& text, bool unicode) {
  if (!unicode) return text.size();
  size_t units = 0;
  for (unsigned char c : text) units += (c & 0xC0) != 0x80 ? 1 : 0;
  for (unsigned char c : text) units += c >= 0xF0 ? 1 : 0;  // a surrogate pair
  return units;
}

std::string HexData(const RegValue& value, std::string line, bool unicode) {
  char text[24];
  if (value.type == REG_BINARY) {
    line += "hex:";
  } else {
    snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned int>(value.type));
    line += text;
  }
  size_t column = Columns(line, unicode);
  for (size_t i = 0; i < value.data.size(); ++i) {
    snprintf(text, sizeof text, "%02x", static_cast<unsigned char>(value.data[i]));
    line += text;
    if (i + 1 == value.data.size()) break;
    line += ',';
    column += 3;
    if (column > kWrapColumn) {
      line += "\\\r\n  ";
      column = 2;
    }
  }
  return line;
}

// `value` as stored, written with `name` and `data` in the file's text: whether it is
// written as a string is decided on the stored bytes.
std::string ValueLine(const RegFileValue& entry, const RegValue& value, bool unicode) {
  std::string line = (value.name.empty() ? "@" : Quoted(value.name)) + "=";
  if (entry.remove) return line + "-";
  if (IsPlainString(entry.value)) return line + Quoted(value.data.substr(0, value.data.size() - 1));
  if (value.type == REG_DWORD && value.data.size() == 4) {
    char number[16];
    snprintf(number, sizeof number, "dword:%08x",
             static_cast<unsigned int>(FromLittleEndian(value.data)));
    return line + number;
  }
  return HexData(value, line, unicode);
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16LE bytes as code units, and back.
std::u16string Utf16Units(const std::string& bytes, size_t from = 0) {
  std::u16string units;
  for (size_t i = from; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return units;
}

std::string Utf16Bytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::string CodePageError(const std::string& what, int code_page) {
  return what + " is not text in code page " + std::to_string(code_page);
}

// Text in the code page as UTF-8, when it goes there and back unchanged.
bool StoredToUnicode(const std::string& bytes, int code_page, std::string* utf8) {
  std::u16string text;
  std::string back;
  return ToUtf16(bytes, code_page, &text) && FromUtf16(text, code_page, &back) && back == bytes &&
         Utf16ToUtf8(text, utf8);
}

// The value with its name and (string) data as the Unicode dialect writes them: the name
// in UTF-8, the data of the string types as UTF-16LE bytes.
bool ValueToUnicode(const RegValue& stored, int code_page, RegValue* out) {
  out->type = stored.type;
  out->data = stored.data;
  if (!StoredToUnicode(stored.name, code_page, &out->name)) return false;
  if (IsPlainString(stored)) return StoredToUnicode(stored.data, code_page, &out->data);
  std::string utf8;
  std::u16string text;
  if (!IsStringType(stored.type)) return true;
  if (!StoredToUnicode(stored.data, code_page, &utf8)) return false;
  Utf8ToUtf16(utf8, &text);
  out->data = Utf16Bytes(text);
  return true;
}

// A line of the file with its continuations joined, and the number of its first line.
// A file cut short (a full disk, an interrupted copy) ends in the middle of a line, or of
// a value continued over several: `unended` marks a last line without its line end,
// `unfinished` one whose final backslash has no line to go on with.
struct Line {
  int number;
  std::string text;
  bool unended = false;
  bool unfinished = false;
};

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// The lines of `text` without their ends and surrounding blanks. A line other than a
// comment that ends with a backslash goes on, without it, on the next line.
std::vector<Line> LogicalLines(const std::string& text) {
  std::vector<Line> lines;
  bool continued = false;
  int number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    const bool unended = end == std::string::npos;
    if (unended) end = text.size();
    std::string physical = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!physical.empty() && physical.back() == '\r') physical.pop_back();
    physical = Trimmed(physical);
    if (continued) {
      lines.back().text += physical;
    } else {
      lines.push_back(Line{number, physical});
    }
    lines.back().unended = unended;
    std::string& last = lines.back().text;
    continued = !last.empty() && last[0] != ';' && last.back() == '\\';
    if (continued) last.pop_back();
  }
  if (continued) lines.back().unfinished = true;
  return lines;
}

// Reads one line from left to right.
class Cursor {
 public:
  explicit Cursor(const std::string& text) : text_(text) {}

  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
  std::string Rest() const { return text_.substr(at_); }
  void SkipBlanks() {
    while (!AtEnd() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }
  bool Consume(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  // Consumes `word` when the text goes on with it, in any case.
  bool ConsumeWord(const char* word) {
    const size_t size = strlen(word);
    if (strncasecmp(text_.c_str() + at_, word, size) != 0) return false;
    at_ += size;
    return true;
  }
  // Up to `max` hexadecimal digits as a number; false when there is none.
  bool HexNumber(size_t max, uint64_t* number) {
    size_t count = 0;
    *number = 0;
    for (; count < max && !AtEnd() && HexDigit(text_[at_]) >= 0; ++count, ++at_) {
      *number = *number * 16 + static_cast<uint64_t>(HexDigit(text_[at_]));
    }
    return count > 0;
  }
  // A string in double quotes in which \\ and \" stand for \ and ".
  bool QuotedString(std::string* out, std::string* error) {
    out->clear();
    if (!Consume('"')) {
      *error = "expected a string in double quotes";
      return false;
    }
    while (!AtEnd()) {
      char c = text_[at_++];
      if (c == '"') return true;
      if (c == '\\') {
        c = Peek();
        if (c != '\\' && c != '"') {
          *error = "a backslash in a string must be followed by \\ or \"";
          return false;
        }
        ++at_;
      }
      *out += c;
    }
    *error = "the string has no closing quote";
    return false;
  }

 private:
  const std::string& text_;
  size_t at_ = 0;
};

bool ParseSection(const std::string& text, RegFileKey* key, std::string* error) {
  if (text.back() != ']') {
    *error = "a key line must end with ]";
    return false;
  }
  std::string path = text.substr(1, text.size() - 2);
  key->remove = !path.empty() && path[0] == '-';
  if (key->remove) path.erase(0, 1);
  if (!ParseRegPath(path, &key->path, error)) return false;
  if (key->remove && key->path.sub.empty()) {
    *error = "a root cannot be deleted";
    return false;
  }
  return true;
}

// Comma-separated bytes of one or two hexadecimal digits each, up to the end of the line.
bool ParseHexBytes(Cursor& cursor, std::string* data, std::string* error) {
  data->clear();
  cursor.SkipBlanks();
  while (!cursor.AtEnd()) {
    uint64_t byte = 0;
    if (!cursor.HexNumber(2, &byte)) {
      *error = "expected a hexadecimal byte at '" + Printable(cursor.Rest()) + "'";
      return false;
    }
    *data += static_cast<char>(byte);
    cursor.SkipBlanks();
    if (cursor.AtEnd()) break;
    if (!cursor.Consume(',')) {
      *error = "expected a comma between hexadecimal bytes at '" + Printable(cursor.Rest()) + "'";
      return false;
    }
    cursor.SkipBlanks();
    if (cursor.AtEnd()) {
      *error = "hexadecimal data ends with a comma";
      return false;
    }
  }
  return true;
}

bool ParseData(Cursor& cursor, RegFileValue* entry, std::string* error) {
  RegValue& value = entry->value;
  uint64_t number = 0;
  if (cursor.Consume('-')) {
    entry->remove = true;
  } else if (cursor.Peek() == '"') {
    value.type = REG_SZ;
    entry->quoted = true;
    if (!cursor.QuotedString(&value.data, error)) return false;
    value.data += '\0';
  } else if (cursor.ConsumeWord("dword:")) {
    value.type = REG_DWORD;
    if (!cursor.HexNumber(8, &number) || HexDigit(cursor.Peek()) >= 0) {
      *error = "dword: must be followed by 1 to 8 hexadecimal digits";
      return false;
    }
    value.data = LittleEndian(number, 4);
  } else if (cursor.ConsumeWord("hex:")) {
    value.type = REG_BINARY;
    return ParseHexBytes(cursor, &value.data, error);
  } else if (cursor.ConsumeWord("hex(")) {
    if (!cursor.HexNumber(8, &number) || !cursor.ConsumeWord("):")) {
      *error = "hex( must be followed by a hexadecimal type number and ):";
      return false;
    }
    value.type = static_cast<DWORD>(number);
    return ParseHexBytes(cursor, &value.data, error);
  } else {
    *error = "expected \"string\", dword:, hex:, hex(type): or - after =";
    return false;
  }
  cursor.SkipBlanks();
  if (!cursor.AtEnd()) {
    *error = "unexpected text after the data: '" + Printable(cursor.Rest()) + "'";
    return false;
  }
  return true;
}

bool ParseValue(const Line& line, RegFileValue* entry, std::string* error) {
  Cursor cursor(line.text);
  // An empty quoted name is the unnamed value too.
  if (cursor.Peek() == '"') {
    if (!cursor.QuotedString(&entry->value.name, error)) return false;
  } else if (!cursor.Consume('@')) {
    *error = "expected [key], a value name in double quotes, or @";
    return false;
  }
  cursor.SkipBlanks();
  if (!cursor.Consume('=')) {
    *error = "expected = after the value name";
    return false;
  }
  cursor.SkipBlanks();
  // Numbers and hex bytes cut short still read as data, unlike a quoted string or a -;
  // what follows a continuation is missing whatever it is.
  const bool delimited = cursor.Peek() == '"' || cursor.Peek() == '-';
  if (line.unfinished || (line.unended && !delimited)) {
    const std::string& name = entry->value.name;
    *error = (name.empty() ? std::string("the unnamed value") : "value '" + Printable(name) + "'") +
             " is incomplete: the file ends in the middle of its data";
    return false;
  }
  return ParseData(cursor, entry, error);
}

bool ParseLine(const Line& line, std::vector<RegFileKey>* keys, std::string* error) {
  const std::string& text = line.text;
  if (text.find('\0') != std::string::npos) {
    *error = "the line holds a zero byte; is the file UTF-16?";
    return false;
  }
  if (text[0] == '[') {
    keys->emplace_back();
    keys->back().line = line.number;
    return ParseSection(text, &keys->back(), error);
  }
  if (keys->empty()) {
    *error = "a value before the first [key] line";
    return false;
  }
  if (keys->back().remove) {
    *error = "a value under a key that is deleted";
    return false;
  }
  keys->back().values.emplace_back();
  keys->back().values.back().line = line.number;
  return ParseValue(line, &keys->back().values.back(), error);
}

}  // namespace

bool WriteRegFile(const std::vector<RegFileKey>& keys, RegDialect dialect, int code_page,
                  std::string* file, std::string* error) {
  const bool unicode = dialect == RegDialect::kUnicode;
  std::string text = std::string(unicode ? kHeader : kOldHeader) + "\r\n\r\n";
  for (const RegFileKey& key : keys) {
    std::string path = key.path.Full();
    if (HasLineBreak(key.path.sub)) {
      *error = "the key name '" + Printable(path) + "' holds a line break";
      return false;
    }
    if (unicode && !StoredToUnicode(key.path.Full(), code_page, &path)) {
      *error = CodePageError("the key name '" + Printable(key.path.Full()) + "'", code_page);
      return false;
    }
    text += (key.remove ? "[-" : "[") + path + "]\r\n";
    for (const RegFileValue& entry : key.values) {
      const std::string label = "value '" + Printable(entry.value.name) + "' of " +
                                Printable(key.path.Full());
      if (HasLineBreak(entry.value.name)) {
        *error = "the name of " + label + " holds a line break";
        return false;
      }
      RegValue value = entry.value;
      if (unicode && !ValueToUnicode(entry.value, code_page, &value)) {
        *error = CodePageError(label, code_page) + "; export it with /a";
        return false;
      }
      text += ValueLine(entry, value, unicode) + "\r\n";
    }
    text += "\r\n";
  }
  if (!unicode) {
    *file = text;
    return true;
  }
  std::u16string units;
  Utf8ToUtf16(text, &units);  // made of valid UTF-8 above
  *file = kUtf16Mark + Utf16Bytes(units);
  return true;
}

namespace {

// How a parsed file's text and string data are to be read.
struct Encoding {
  bool text_unicode;  // names and strings are UTF-8 (decoded), else bytes in the code page
  bool data_unicode;  // hex(1), hex(2) and hex(7) data is UTF-16LE (the 5.00 header)
};

// The text of a UTF-16LE file after its byte order mark, as UTF-8.
bool DecodeUtf16(const std::string& file, std::string* text, int* line, std::string* error) {
  const std::u16string units = Utf16Units(file, 2);
  bool zero_high = false;
  for (size_t i = 0; i < units.size() && i < 64; ++i) zero_high |= units[i] < 0x100;
  if (!units.empty() && !zero_high) {
    *error = "the file starts with a UTF-16 byte order mark, but its text is not UTF-16";
    return false;
  }
  size_t good = 0;  // units before the first that is not part of a character
  for (; good < units.size(); ++good) {
    const char16_t c = units[good];
    if (c >= 0xDC00 && c <= 0xDFFF) break;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (good + 1 == units.size() || units[good + 1] < 0xDC00 || units[good + 1] > 0xDFFF) break;
      ++good;
    }
  }
  Utf16ToUtf8(units.substr(0, good), text);
  *line = 1;
  for (char c : *text) *line += c == '\n';
  if (good < units.size()) {
    char what[64];
    snprintf(what, sizeof what, "an unpaired UTF-16 surrogate (%04X)",
             static_cast<unsigned int>(units[good]));
    *error = what;
    return false;
  }
  if (file.size() % 2 != 0) {
    *error = "the UTF-16 file has an odd number of bytes: its last character is cut short";
    return false;
  }
  return true;
}

// The line of the first byte of `text` that is not part of a UTF-8 character, or 0.
int FirstBadUtf8Line(const std::string& text) {
  std::u16string units;
  if (Utf8ToUtf16(text, &units)) return 0;
  size_t start = 0;
  for (int line = 1;; ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (!Utf8ToUtf16(text.substr(start, end - start), &units)) return line;
    start = end + 1;
  }
}

// The file's text, as UTF-8 or as the 8-bit bytes it is, and how to read it.
bool Decode(const std::string& file, std::string* text, Encoding* encoding, int* line,
            std::string* error) {
  *line = 1;
  if (file.compare(0, 2, "\xFE\xFF") == 0) {
    *error = "the file is big-endian UTF-16; Windows writes and reads little-endian";
    return false;
  }
  if (file.compare(0, 2, kUtf16Mark) == 0) {
    encoding->text_unicode = true;
    return DecodeUtf16(file, text, line, error);
  }
  const bool marked = file.compare(0, 3, kUtf8Mark) == 0;
  *text = file.substr(marked ? 3 : 0);
  const size_t end = text->find_first_of("\r\n");
  const bool unicode_header = Trimmed(text->substr(0, end)) == kHeader;
  bool eight_bit = false;
  for (unsigned char c : *text) eight_bit |= c >= 0x80;
  const int bad = FirstBadUtf8Line(*text);
  encoding->text_unicode = marked || (unicode_header && eight_bit && bad == 0);
  if (marked && bad != 0) {
    *line = bad;
    *error = "the file starts with a UTF-8 byte order mark, but this line is not UTF-8";
    return false;
  }
  return true;
}

// Text of the file in the store's code page.
bool TextToStore(const std::string& text, const Encoding& encoding, int code_page,
                 std::string* out) {
  if (!encoding.text_unicode) return (*out = text), true;
  std::u16string units;
  return Utf8ToUtf16(text, &units) && FromUtf16(units, code_page, out);
}

bool ValueToStore(RegValue* value, bool quoted, const Encoding& encoding, int code_page,
                  std::string* error) {
  std::string converted;
  if (!TextToStore(value->name, encoding, code_page, &converted)) {
    *error = "the value name holds a character code page " + std::to_string(code_page) +
             " does not have";
    return false;
  }
  value->name = converted;
  if (quoted) {
    if (!TextToStore(value->data, encoding, code_page, &converted)) {
      *error = "the string holds a character code page " + std::to_string(code_page) +
               " does not have";
      return false;
    }
    value->data = converted;
  } else if (encoding.data_unicode && IsStringType(value->type)) {
    if (value->data.size() % 2 != 0) {
      *error = "the data of a string type is UTF-16 here, but has an odd number of bytes";
      return false;
    }
    if (!FromUtf16(Utf16Units(value->data), code_page, &converted)) {
      *error = "the UTF-16 data holds a character code page " + std::to_string(code_page) + " does not have";
      return false;
    }
    value->data = converted;
  }
  return true;
}

}  // namespace

bool ParseRegFile(const std::string& file, int code_page, std::vector<RegFileKey>* keys,
                  int* line, std::string* error) {
  keys->clear();
  std::string text;
  Encoding encoding{false, false};
  if (!Decode(file, &text, &encoding, line, error)) return false;
  bool header = false;
  for (const Line& l : LogicalLines(text)) {
    *line = l.number;
    if (!header) {
      // Windows' tools take a header on the first line only, not after a blank line or a
      // comment, and import nothing under any other (REGEDIT3 and the like).
      header = l.number == 1 && (l.text == kHeader || l.text == kOldHeader);
      if (!header) {
        *error = std::string("the first line must be the header '") + kHeader + "' or '" +
                 kOldHeader + "'";
        return false;
      }
      encoding.data_unicode = l.text == kHeader;
    } else if (!l.text.empty() && l.text[0] != ';' && !ParseLine(l, keys, error)) {
      return false;
    }
  }
  if (!header) {
    *error = std::string("no header line '") + kHeader + "'";
    return false;
  }
  for (RegFileKey& key : *keys) {
    *line = key.line;
    std::string sub;
    if (!TextToStore(key.path.sub, encoding, code_page, &sub)) {
        *error = "the key name " + Printable(key.path.Full()) + " holds a character code page " +
               std::to_string(code_page) + " does not have";
      return false;
    }
    key.path.sub = sub;
    for (RegFileValue& entry : key.values) {
      *line = entry.line;
      if (!ValueToStore(&entry.value, entry.quoted, encoding, code_page, error)) {
        const std::string name = entry.value.name;
        *error = (name.empty() ? std::string("the unnamed value") : "value '" + Printable(name) + "'") +
                 " of " + Printable(key.path.Full()) + ": " + *error;
        return false;
      }
    }
  }
  return true;
}

}  // namespace tool
}  // namespace ruzide
