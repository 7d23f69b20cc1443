// How this platform reads and compares file names for the file list: names
// are decoded to characters, matched against wildcard patterns character by
// character and ordered regardless of letter case.
#pragma once

#include <string>
#include <string_view>

namespace posix {

// The characters of a file name. A name that is valid UTF-8 is read as UTF-8.
// Any other name is read as Windows-1252, one character per byte, so names
// written on systems in that code page still list with every character in
// place; the five bytes that code page leaves unassigned read as the C1
// control characters of the same value.
std::u32string DecodeFileName(std::string_view bytes);

// The lower-case form used for comparisons: the letters of ASCII and of the
// Windows-1252 repertoire fold, every other character stands for itself.
char32_t FoldCase(char32_t c);
std::u32string FoldCase(std::u32string_view text);

// Whether `name` matches `pattern`: "?" is exactly one character, "*" any run
// of characters (none included), and every other character matches itself
// regardless of letter case. Both are already folded.
bool MatchesFolded(std::u32string_view name, std::u32string_view pattern);

}  // namespace posix
