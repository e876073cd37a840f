// Conversion of the library's 8-bit text to UTF-8 for the terminal, and back.
//
// The library stores and returns descriptions as bytes in the code page of their
// language, unconverted; which code page that is follows from the language identifier.
#ifndef RUZIDE_TOOLS_RUZIDE_CODEPAGE_H_
#define RUZIDE_TOOLS_RUZIDE_CODEPAGE_H_

#include <string>

namespace ruzide {
namespace tool {

// The code page text of language `lang_id` is written in: 936 for Chinese (simplified),
// 1252 for every other language, the Western ones of the default table among them.
int CodePageOf(int lang_id);

// `text` converted from `code_page` to UTF-8. A byte that does not convert (undefined in
// the code page, or a cut-off double-byte character) becomes U+FFFD and conversion goes
// on, so nothing that follows is lost.
std::string ToUtf8(const char* text, int code_page);

// `utf8` converted to `code_page` into `out`. False, `out` unspecified, when the text is
// not valid UTF-8 or holds a character the code page does not have: nothing is replaced,
// so a value written back is exactly what was asked for or nothing.
bool FromUtf8(const std::string& utf8, int code_page, std::string* out);

// How many terminal columns UTF-8 `text` takes: one per character, two for the wide
// East Asian ones, so that columns of text line up.
size_t DisplayWidth(const std::string& text);

}  // namespace tool
}  // namespace ruzide

#endif  // RUZIDE_TOOLS_RUZIDE_CODEPAGE_H_
