#include "rebuild/utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace rebuild {
namespace {

TEST(DecodeUtf8, AcceptsWellFormedTextOnly) {
    struct Case {
        const char *name;
        std::string bytes;
        std::optional<std::u32string> decoded;
    };
    const Case cases[] = {
        {"empty", "", U""},
        {"ASCII", "AD.isd", U"AD.isd"},
        {"two bytes", "\xC3\xA0", U"\u00E0"},
        {"three bytes", "\xE2\x82\xAC", U"\u20AC"},
        {"four bytes", "\xF0\x9F\x98\x80", U"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
        {"lone continuation byte", "a\x80", std::nullopt},
        {"truncated sequence", "\xE2\x82", std::nullopt},
        {"Latin-1 byte", "ab\xE9", std::nullopt},
        {"overlong two bytes", "\xC0\xAF", std::nullopt},
        {"overlong three bytes", "\xE0\x80\xAF", std::nullopt},
        {"surrogate", "\xED\xA0\x80", std::nullopt},
        {"above U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
        {"invalid lead byte", "\xF8\x88\x80\x80\x80", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeUtf8(c.bytes), c.decoded);
        if (c.decoded) {
            EXPECT_EQ(EncodeUtf8(*c.decoded), c.bytes);
        }
    }
}

TEST(EncodeUtf8, ReplacesWhatCannotBeEncoded) {
    EXPECT_EQ(EncodeUtf8(std::u32string{U'a', char32_t{0xD800}, char32_t{0x110000}}),
              "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8Characters, CountsCharactersNotBytes) {
    struct Case {
        const char *name;
        std::string text;
        std::size_t first, count;
        std::string expected;
    };
    const Case cases[] = {
        {"ASCII", "abcdADct.ISD", 4, 2, "AD"},
        {"multibyte before",
         "\xC3\xA0\xC3\xA0"
         "cdADct.ISD",
         4, 2, "AD"},
        {"multibyte inside",
         "abcd\xE2\x82\xAC\xF0\x9F\x98\x80"
         "ct.ISD",
         4, 2, "\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"text ends inside", "abcdA", 4, 2, "A"},
        {"text ends before", "abc", 4, 2, ""},
        {"malformed byte is one character",
         "abc\xFF"
         "AD",
         4, 2, "AD"},
        {"truncated sequence at the end", "abcdA\xE2\x82", 4, 2, "A\xE2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8Characters(c.text, c.first, c.count), c.expected);
    }
}

}  // namespace
}  // namespace rebuild
