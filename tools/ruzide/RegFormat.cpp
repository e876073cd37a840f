#include "RegFormat.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

namespace ruzide {
namespace tool {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
const char kOldHeader[] = "REGEDIT4";  // the older 8-bit header, the same syntax
const char kBlanks[] = " \t";
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

std::string HexData(const RegValue& value, std::string line) {
  char text[24];
  if (value.type == REG_BINARY) {
    line += "hex:";
  } else {
    snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned int>(value.type));
    line += text;
  }
  size_t column = line.size();
  for (size_t i = 0; i < value.data.size(); ++i) {
    snprintf(text, sizeof text, "%02x", static_cast<unsigned char>(value.data[i]));
    line += text;
    if (i + 1 == value.data.size()) break;
    line += ',';
    column += 3;
    if (column > kWrapColumn) {
      line += "\\\n  ";
      column = 2;
    }
  }
  return line;
}

std::string ValueLine(const RegFileValue& entry) {
  const RegValue& value = entry.value;
  std::string line = (value.name.empty() ? "@" : Quoted(value.name)) + "=";
  if (entry.remove) return line + "-";
  if (IsPlainString(value)) return line + Quoted(value.data.substr(0, value.data.size() - 1));
  if (value.type == REG_DWORD && value.data.size() == 4) {
    char number[16];
    snprintf(number, sizeof number, "dword:%08x",
             static_cast<unsigned int>(FromLittleEndian(value.data)));
    return line + number;
  }
  return HexData(value, line);
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
  return ParseValue(line, &keys->back().values.back(), error);
}

}  // namespace

bool WriteRegFile(const std::vector<RegFileKey>& keys, std::string* text, std::string* error) {
  *text = std::string(kHeader) + "\n\n";
  for (const RegFileKey& key : keys) {
    if (HasLineBreak(key.path.sub)) {
      *error = "the key name '" + Printable(key.path.Full()) + "' holds a line break";
      return false;
    }
    *text += (key.remove ? "[-" : "[") + key.path.Full() + "]\n";
    for (const RegFileValue& entry : key.values) {
      if (HasLineBreak(entry.value.name)) {
        *error = "the value name '" + Printable(entry.value.name) + "' of " +
                 Printable(key.path.Full()) + " holds a line break";
        return false;
      }
      *text += ValueLine(entry) + "\n";
    }
    *text += "\n";
  }
  return true;
}

bool ParseRegFile(const std::string& text, std::vector<RegFileKey>* keys, int* line,
                  std::string* error) {
  keys->clear();
  *line = 1;
  if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
    *error = "the file is UTF-16; only 8-bit .reg files can be imported";
    return false;
  }
  const size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  bool header = false;
  for (const Line& l : LogicalLines(text.substr(bom))) {
    *line = l.number;
    if (l.text.empty() || l.text[0] == ';') continue;
    if (!header) {
      header = l.text == kHeader || l.text == kOldHeader;
      if (!header) {
        *error = std::string("expected the header line '") + kHeader + "'";
        return false;
      }
    } else if (!ParseLine(l, keys, error)) {
      return false;
    }
  }
  if (!header) {
    *error = std::string("no header line '") + kHeader + "'";
    return false;
  }
  return true;
}

}  // namespace tool
}  // namespace ruzide
