// Feeds arbitrary bytes to the .reg parser of `ruzide reg import`. The parser must never
// crash; read in chunks of any size (the first byte chooses it) it must give the same
// entries as read whole, so that a line split across reads, UTF-16 ones among them, reads
// as one; and whatever it accepts must survive a round trip through either dialect:
// writing the parsed keys and parsing that file again gives the same keys, and writing
// those gives the same file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/ruzide/RegFormat.h"

using ruzide::tool::RegDialect;
using ruzide::tool::RegFileEntry;
using ruzide::tool::RegFileKey;
using ruzide::tool::RegFileReader;

namespace {

// Every entry of `text` with its error, read `chunk` bytes at a time, and how it ended.
std::string Entries(const std::string& text, size_t chunk) {
  size_t at = 0;
  RegFileReader reader(
      [&](char* buffer, size_t size) {
        const size_t n = std::min({size, chunk, text.size() - at});
        memcpy(buffer, text.data() + at, n);
        at += n;
        return n;
      },
      1252);
  std::string out;
  RegFileEntry e;
  while (reader.Next(&e)) {
    out += std::to_string(e.line) + ":" + std::to_string(e.kind) + e.key.path.Full() +
           e.value.value.name + "=" + e.value.value.data + "|" + e.error + "\n";
  }
  return out + reader.fatal();
}

bool SameKeys(const std::vector<RegFileKey>& a, const std::vector<RegFileKey>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].path.root != b[i].path.root || a[i].path.sub != b[i].path.sub ||
        a[i].remove != b[i].remove || a[i].values.size() != b[i].values.size())
      return false;
    for (size_t j = 0; j < a[i].values.size(); ++j) {
      const auto& x = a[i].values[j];
      const auto& y = b[i].values[j];
      if (x.remove != y.remove || x.value.name != y.value.name ||
          x.value.type != y.value.type || x.value.data != y.value.data)
        return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (size > 0 && Entries(text, 1 + data[0] % 16) != Entries(text, size)) abort();
  std::vector<RegFileKey> keys;
  int line = 0;
  std::string error;
  // 1252 converts every byte, so any key the parser gives can be written in both dialects.
  const int code_page = 1252;
  if (!ruzide::tool::ParseRegFile(text, code_page, &keys, &line, &error)) return 0;

  for (RegDialect dialect : {RegDialect::kUnicode, RegDialect::kAnsi}) {
    std::string written;
    // Fails for names with line breaks only.
    if (!ruzide::tool::WriteRegFile(keys, dialect, code_page, &written, &error)) return 0;
    std::vector<RegFileKey> again;
    if (!ruzide::tool::ParseRegFile(written, code_page, &again, &line, &error)) abort();
    if (!SameKeys(keys, again)) abort();
    std::string rewritten;
    if (!ruzide::tool::WriteRegFile(again, dialect, code_page, &rewritten, &error) ||
        rewritten != written) {
      abort();
    }
  }
  return 0;
}
