// Conversion of the registry's 8-bit text to Unicode and back, for the terminal and for
// .reg files.
//
// The programs read and write text through the registry's 8-bit functions, as bytes in
// their code page; the library stores descriptions in the code page of their language.
// A .reg file and the terminal carry Unicode. Every conversion of the tool goes through
// the functions here.
#ifndef RUZIDE_TOOLS_RUZIDE_CODEPAGE_H_
#define RUZIDE_TOOLS_RUZIDE_CODEPAGE_H_

#include <string>

namespace ruzide {
namespace tool {

// The code page text of language `lang_id` is written in: 936 for Chinese (simplified),
// 1252 for every other language, the Western ones of the default table among them.
int CodePageOf(int lang_id);

// The code page the registry's 8-bit text is taken to be in when the command line does
// not say (/cp): the number in RUZIDE_CODEPAGE when that is set; else on Windows the
// process's ANSI code page, through which the registry's 8-bit functions convert; else
// 1252, the code page of the programs' Western languages.
int DefaultCodePage();

// The code page of text on the command line and the terminal: UTF-8 (65001), or on
// Windows the ANSI code page, in which the C runtime passes the command line.
int TerminalCodePage();

// Whether text can be converted to and from `code_page` here.
bool CodePageKnown(int code_page);

// `bytes`, text in `code_page`, as UTF-16, every byte converted (zeros too), as the
// registry converts string data. 1252 is Windows' table, with 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D as the control characters of the same numbers; 65001 is UTF-8. False when a byte
// sequence is not a character of the code page.
bool ToUtf16(const std::string& bytes, int code_page, std::u16string* out);

// `text` in `code_page`; false when a character has none there or a surrogate is
// unpaired. Nothing is replaced by a look-alike.
bool FromUtf16(const std::u16string& text, int code_page, std::string* out);

// UTF-8 and UTF-16, both ways; false on invalid UTF-8 or an unpaired surrogate.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* out);
bool Utf16ToUtf8(const std::u16string& text, std::string* out);

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
