#include "RegFormat.h"

#include <strings.h>

#include <algorithm>
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

}  // namespace

// A line of the file with its continuations joined, and the number of its first line.
// A file cut short (a full disk, an interrupted copy) ends in the middle of a line, or of
// a value continued over several: `unended` marks a last line without its line end,
// `unfinished` one whose final backslash has no line to go on with. `error` is a fault of
// its encoding.
struct RegFileReader::Line {
  int number = 0;
  std::string text;
  bool unended = false;
  bool unfinished = false;
  std::string error;
};

namespace {

using Line = RegFileReader::Line;

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// Reads one line from left to right.
class Cursor {
 public:
  explicit Cursor(const std::string& text) : text_(text) {}

  bool AtEnd() const { return at_ == text_.size(); }
  // At the end of the line or of the data before a comment.
  bool AtDataEnd() const { return AtEnd() || text_[at_] == ';'; }
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
  while (!cursor.AtDataEnd()) {
    uint64_t byte = 0;
    if (!cursor.HexNumber(2, &byte)) {
      *error = "expected a hexadecimal byte at '" + Printable(cursor.Rest()) + "'";
      return false;
    }
    *data += static_cast<char>(byte);
    cursor.SkipBlanks();
    if (cursor.AtDataEnd()) break;
    if (!cursor.Consume(',')) {
      *error = "expected a comma between hexadecimal bytes at '" + Printable(cursor.Rest()) + "'";
      return false;
    }
    cursor.SkipBlanks();
    if (cursor.AtDataEnd()) {
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
  if (cursor.Rest() == "\\") {
    *error = "only hex data goes on over lines, but this line ends with a backslash";
    return false;
  }
  if (!cursor.AtDataEnd()) {
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
    *error = ValueLabel(name) + " is incomplete: the file ends in the middle of its data";
    return false;
  }
  return ParseData(cursor, entry, error);
}

}  // namespace

RegFileWriter::RegFileWriter(RegByteSink sink, RegDialect dialect, int code_page)
    : sink_(std::move(sink)), unicode_(dialect == RegDialect::kUnicode), code_page_(code_page) {}

// Writes `text`, UTF-8 in the Unicode dialect (made so by the callers), in the file's
// encoding.
bool RegFileWriter::Put(const std::string& text, std::string* error) {
  std::string bytes;
  if (unicode_) {
    std::u16string units;
    Utf8ToUtf16(text, &units);
    bytes = Utf16Bytes(units);
  }
  const std::string& out = unicode_ ? bytes : text;
  if (sink_(out.data(), out.size())) return true;
  error->clear();  // the sink's failure, in errno
  return false;
}

bool RegFileWriter::Header(std::string* error) {
  if (unicode_ && !sink_(kUtf16Mark, 2)) return error->clear(), false;
  return Put(std::string(unicode_ ? kHeader : kOldHeader) + "\r\n\r\n", error);
}

bool RegFileWriter::Key(const RegPath& key, bool remove, std::string* error) {
  std::string path = key.Full();
  if (HasLineBreak(key.sub)) {
    *error = "the key name '" + Printable(path) + "' holds a line break";
    return false;
  }
  if (unicode_ && !StoredToUnicode(key.Full(), code_page_, &path)) {
    *error = CodePageError("the key name '" + Printable(key.Full()) + "'", code_page_);
    return false;
  }
  key_ = key;
  const char* blank = in_section_ ? "\r\n" : "";
  in_section_ = true;
  return Put(blank + std::string(remove ? "[-" : "[") + path + "]\r\n", error);
}

bool RegFileWriter::Value(const RegFileValue& entry, std::string* error) {
  const std::string label =
      "value '" + Printable(entry.value.name) + "' of " + Printable(key_.Full());
  if (HasLineBreak(entry.value.name)) {
    *error = "the name of " + label + " holds a line break";
    return false;
  }
  RegValue value = entry.value;
  if (unicode_ && !ValueToUnicode(entry.value, code_page_, &value)) {
    *error = CodePageError(label, code_page_) + "; export it with /a";
    return false;
  }
  return Put(ValueLine(entry, value, unicode_) + "\r\n", error);
}

bool RegFileWriter::Finish(std::string* error) { return !in_section_ || Put("\r\n", error); }

bool WriteRegFile(const std::vector<RegFileKey>& keys, RegDialect dialect, int code_page,
                  std::string* file, std::string* error) {
  file->clear();
  RegFileWriter writer(
      [file](const char* bytes, size_t size) { return file->append(bytes, size), true; }, dialect,
      code_page);
  if (!writer.Header(error)) return false;
  for (const RegFileKey& key : keys) {
    if (!writer.Key(key.path, key.remove, error)) return false;
    for (const RegFileValue& entry : key.values) {
      if (!writer.Value(entry, error)) return false;
    }
  }
  return writer.Finish(error);
}

namespace {

// How a file's text and string data are to be read.
struct Encoding {
  bool text_unicode;  // names and strings are UTF-8 (decoded), else bytes in the code page
  bool data_unicode;  // hex(1), hex(2) and hex(7) data is UTF-16LE (the 5.00 header)
};

// Text of the file in the store's code page.
bool TextToStore(const std::string& text, bool text_unicode, int code_page, std::string* out) {
  if (!text_unicode) return (*out = text), true;
  std::u16string units;
  return Utf8ToUtf16(text, &units) && FromUtf16(units, code_page, out);
}

bool ValueToStore(RegValue* value, bool quoted, const Encoding& encoding, int code_page,
                  std::string* error) {
  std::string converted;
  if (!TextToStore(value->name, encoding.text_unicode, code_page, &converted)) {
    *error = "the value name holds a character code page " + std::to_string(code_page) +
             " does not have";
    return false;
  }
  value->name = converted;
  if (quoted) {
    if (!TextToStore(value->data, encoding.text_unicode, code_page, &converted)) {
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

// Whether `text` is a value line whose data is hex bytes, the only data Windows' tools
// continue over lines.
bool IsHexValue(const std::string& text) {
  Cursor cursor(text);
  std::string name, ignored;
  if (!(cursor.Peek() == '"' ? cursor.QuotedString(&name, &ignored) : cursor.Consume('@'))) {
    return false;
  }
  cursor.SkipBlanks();
  if (!cursor.Consume('=')) return false;
  cursor.SkipBlanks();
  return cursor.ConsumeWord("hex");
}

// Bytes asked of the source at a time.
constexpr size_t kChunk = 1 << 16;
// UTF-16 code units looked at to tell whether text after a UTF-16 byte order mark is UTF-16.
constexpr size_t kSniffUnits = 64;

}  // namespace

// The physical lines of a file, decoded, one at a time: UTF-16 as UTF-8, 8-bit text as it
// is, each without its line end and surrounding blanks. Holds the line being read and
// what is left of the last chunk read.
class RegFileReader::Lines {
 public:
  explicit Lines(RegByteSource source) : source_(std::move(source)) {}

  // Looks at the file's first bytes for its encoding; false, with `error`, when it is
  // refused.
  bool Start(std::string* error) {
    while (buffer_.size() < 2 + 2 * kSniffUnits && Fill()) {
    }
    if (buffer_.compare(0, 2, "\xFE\xFF") == 0) {
      *error = "the file is big-endian UTF-16; Windows writes and reads little-endian";
      return false;
    }
    if (buffer_.compare(0, 2, kUtf16Mark) == 0) {
      utf16_ = true;
      at_ = searched_ = 2;
      size_t units = 0;
      bool zero_high = false;
      for (size_t i = 2; i + 1 < buffer_.size() && units < kSniffUnits; i += 2, ++units) {
        zero_high |= buffer_[i + 1] == '\0';
      }
      if (units > 0 && !zero_high) {
        *error = "the file starts with a UTF-16 byte order mark, but its text is not UTF-16";
        return false;
      }
    } else if (buffer_.compare(0, 3, kUtf8Mark) == 0) {
      at_ = searched_ = 3;
      utf8_ = Utf8::kMarked;
    }
    return true;
  }

  // Under the Unicode header an 8-bit file may be UTF-8: its first line that is not
  // ASCII decides.
  void MayBeUtf8() {
    if (utf8_ == Utf8::kNo) utf8_ = Utf8::kUndecided;
  }
  bool text_unicode() const { return utf16_ || utf8_ == Utf8::kYes || utf8_ == Utf8::kMarked; }

  // The next line; false at the end of the file.
  bool Next(Line* line) {
    if (has_pending_) {
      has_pending_ = false;
      *line = std::move(pending_);
      return true;
    }
    size_t end;
    while ((end = FindEnd()) == std::string::npos && Fill()) {
    }
    if (end == std::string::npos && at_ >= buffer_.size()) return false;
    *line = Line();
    line->number = ++number_;
    line->unended = end == std::string::npos;
    const size_t stop = line->unended ? buffer_.size() : end;
    Decode(buffer_.substr(at_, stop - at_), line);
    at_ = searched_ = line->unended ? buffer_.size() : end + (utf16_ ? 2 : 1);
    return true;
  }

  // Makes `line` the next line again.
  void PushBack(Line line) {
    pending_ = std::move(line);
    has_pending_ = true;
  }

 private:
  enum class Utf8 { kNo, kUndecided, kYes, kMarked };

  // Appends a chunk from the source to what is left unread; false at the end.
  bool Fill() {
    if (end_) return false;
    buffer_.erase(0, at_);
    searched_ -= at_;
    at_ = 0;
    if (chunk_.empty()) chunk_.resize(kChunk);
    const size_t n = source_(&chunk_[0], kChunk);
    buffer_.append(&chunk_[0], n);
    end_ = n == 0;
    return n > 0;
  }

  // Where the line starting at at_ ends in buffer_, or npos when its end is not read yet.
  size_t FindEnd() {
    if (!utf16_) {
      const size_t end = buffer_.find('\n', searched_);
      searched_ = end == std::string::npos ? buffer_.size() : end;
      return end;
    }
    for (; searched_ + 1 < buffer_.size(); searched_ += 2) {
      if (buffer_[searched_] == '\n' && buffer_[searched_ + 1] == '\0') return searched_;
    }
    return std::string::npos;
  }

  void Decode(const std::string& raw, Line* line) {
    std::string text;
    if (utf16_) {
      if (raw.size() % 2 != 0) {
        line->error = "the UTF-16 file has an odd number of bytes: its last character is cut short";
      }
      std::u16string units = Utf16Units(raw);
      for (size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
          ++i;
        } else if (high || (c >= 0xDC00 && c <= 0xDFFF)) {
          char what[64];
          snprintf(what, sizeof what, "an unpaired UTF-16 surrogate (%04X)",
                   static_cast<unsigned int>(c));
          line->error = what;
          units.resize(i);
          break;
        }
      }
      Utf16ToUtf8(units, &text);
    } else {
      text = raw;
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    line->text = Trimmed(text);
    if (utf16_ || utf8_ == Utf8::kNo) return;
    bool eight_bit = false;
    for (unsigned char c : line->text) eight_bit |= c >= 0x80;
    std::u16string ignored;
    if (!eight_bit || Utf8ToUtf16(line->text, &ignored)) {
      if (eight_bit && utf8_ == Utf8::kUndecided) utf8_ = Utf8::kYes;
      return;
    }
    if (utf8_ == Utf8::kUndecided) {
      utf8_ = Utf8::kNo;
    } else if (line->error.empty()) {
      line->error = utf8_ == Utf8::kMarked
                        ? "the file starts with a UTF-8 byte order mark, but this line is not UTF-8"
                        : "this line is not UTF-8, as the file's first line of other than "
                          "ASCII characters is";
    }
  }

  RegByteSource source_;
  std::string chunk_;    // what the source gives
  std::string buffer_;   // what is left of it to read
  size_t at_ = 0;        // where the next line starts in buffer_
  size_t searched_ = 0;  // how far buffer_ was searched for its end
  bool end_ = false;
  bool utf16_ = false;
  Utf8 utf8_ = Utf8::kNo;
  int number_ = 0;
  Line pending_;
  bool has_pending_ = false;
};

RegFileReader::RegFileReader(RegByteSource source, int code_page)
    : lines_(new Lines(std::move(source))), code_page_(code_page) {}

RegFileReader::~RegFileReader() = default;

bool RegFileReader::ReadHeader() {
  started_ = true;
  fatal_line_ = 1;
  if (!lines_->Start(&fatal_)) return false;
  Line line;
  // Windows' tools take a header on the first line only, not after a blank line or a
  // comment, and import nothing under any other (REGEDIT3 and the like).
  if (!lines_->Next(&line) || (line.text != kHeader && line.text != kOldHeader)) {
    fatal_ =
        std::string("the first line must be the header '") + kHeader + "' or '" + kOldHeader + "'";
    return false;
  }
  data_unicode_ = line.text == kHeader;
  if (data_unicode_) lines_->MayBeUtf8();
  return true;
}

bool RegFileReader::Next(RegFileEntry* entry) {
  if (!started_ && !ReadHeader()) return false;
  if (!fatal_.empty()) return false;
  Line line;
  do {
    if (!lines_->Next(&line)) return false;
  } while (line.error.empty() && (line.text.empty() || line.text[0] == ';'));
  *entry = RegFileEntry();
  entry->line = line.number;
  if (!line.text.empty() && line.text[0] == '[') {
    entry->kind = RegFileEntry::kKey;
    ReadKey(line, entry);
  } else {
    entry->kind = RegFileEntry::kValue;
    ReadValue(&line, entry);
  }
  return true;
}

void RegFileReader::ReadKey(const Line& line, RegFileEntry* entry) {
  section_ = Section::kBad;
  std::string* error = &entry->error;
  RegFileKey& key = entry->key;
  key.line = line.number;
  if (!line.error.empty()) {
    *error = line.error;
  } else if (line.text.find('\0') != std::string::npos) {
    *error = "the line holds a zero byte; is the file UTF-16?";
  } else if (ParseSection(line.text, &key, error)) {
    std::string sub;
    if (!TextToStore(key.path.sub, lines_->text_unicode(), code_page_, &sub)) {
      *error = "the key name " + Printable(key.path.Full()) + " holds a character code page " +
               std::to_string(code_page_) + " does not have";
      return;
    }
    key.path.sub = sub;
    section_ = key.remove ? Section::kDeleted : Section::kOpen;
    path_ = key.path;
  }
}

void RegFileReader::JoinContinuations(Line* line) {
  while (line->error.empty() && !line->text.empty() && line->text.back() == '\\' &&
         IsHexValue(line->text)) {
    line->text.pop_back();
    Line next;
    bool more;
    while ((more = lines_->Next(&next)) && next.error.empty() &&
           (next.text.empty() || next.text[0] == ';')) {
    }
    if (!more) {
      line->unfinished = true;
      return;
    }
    if (!next.error.empty() || HexDigit(next.text[0]) < 0) {
      line->error = "the hex data goes on with a backslash, but line " +
                    std::to_string(next.number) + " is not hex data";
      lines_->PushBack(std::move(next));
      return;
    }
    line->text += next.text;
    line->unended = next.unended;
  }
}

void RegFileReader::ReadValue(Line* line, RegFileEntry* entry) {
  // First, so that a value skipped takes its continuations along.
  JoinContinuations(line);
  std::string* error = &entry->error;
  RegFileValue& value = entry->value;
  value.line = line->number;
  if (!line->error.empty()) {
    *error = line->error;
  } else if (line->text.find('\0') != std::string::npos) {
    *error = "the line holds a zero byte; is the file UTF-16?";
  } else if (section_ == Section::kNone) {
    *error = "a value before the first [key] line";
  } else if (section_ == Section::kDeleted) {
    *error = "a value under a key that is deleted";
  } else if (section_ == Section::kBad) {
    *error = "a value under a malformed key line";
  } else if (ParseValue(*line, &value, error) &&
             !ValueToStore(&value.value, value.quoted,
                           Encoding{lines_->text_unicode(), data_unicode_}, code_page_, error)) {
    const std::string& name = value.value.name;
    *error = ValueLabel(name) + " of " + Printable(path_.Full()) + ": " + *error;
  }
}

bool ParseRegFile(const std::string& file, int code_page, std::vector<RegFileKey>* keys, int* line,
                  std::string* error) {
  keys->clear();
  size_t at = 0;
  RegFileReader reader(
      [&](char* buffer, size_t size) {
        const size_t n = std::min(size, file.size() - at);
        memcpy(buffer, file.data() + at, n);
        at += n;
        return n;
      },
      code_page);
  RegFileEntry entry;
  while (reader.Next(&entry)) {
    *line = entry.line;
    if (!entry.error.empty()) {
      *error = entry.error;
      return false;
    }
    if (entry.kind == RegFileEntry::kKey) {
      keys->push_back(entry.key);
    } else {
      keys->back().values.push_back(entry.value);
    }
  }
  if (reader.fatal().empty()) return true;
  *line = reader.fatal_line();
  *error = reader.fatal();
  return false;
}

}  // namespace tool
}  // namespace ruzide
