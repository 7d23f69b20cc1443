// UTF-8 helpers for names that are counted in characters, not bytes: a "?" of a
// wildcard pattern and a company code are whole characters, however many bytes
// each one takes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rebuild {

// The code points of `text`, or nothing when `text` is not well-formed UTF-8
// (stray or missing continuation bytes, overlong forms, surrogates, values
// above U+10FFFF).
std::optional<std::u32string> DecodeUtf8(std::string_view text);

// `text` in UTF-8. Code points that cannot be encoded (surrogates, values above
// U+10FFFF) become U+FFFD.
std::string EncodeUtf8(std::u32string_view text);

// Up to `count` characters of `text` starting at character `first` (counted
// from 0); fewer when `text` ends sooner. A byte that does not start a
// well-formed sequence counts as one character of its own, so a malformed
// text is cut somewhere sensible instead of failing.
std::string Utf8Characters(std::string_view text, std::size_t first, std::size_t count);

}  // namespace rebuild
