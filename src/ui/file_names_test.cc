#include "ui/file_names.h"

#include <gtest/gtest.h>

#include <string>

#include "rebuild/utf8.h"

namespace posix {
namespace {

std::string Utf8(std::u32string_view text) {
    return rebuild::EncodeUtf8(text);
}

bool Matches(const std::string &name, const std::string &pattern) {
    return MatchesFolded(FoldCase(DecodeFileName(name)), FoldCase(DecodeFileName(pattern)));
}

TEST(MatchesFolded, ArchivePattern) {
    struct Case {
        const char *name;
        bool matches;
    };
    const Case cases[] = {
        {"abcdADct.ISD", true},  {"abcdadct.isd", true},
        {"ABCDADCT.ISD", true},  {"abcd12ct.ISD", true},
        {"a d!,.ct.ISD", true},  {"ab.dADct.ISD", true},
        {"abcdèéct.ISD", true},  // 12 characters in 14 bytes
        {"abcd😀Xct.ISD", true},  // a character of four bytes is one "?"
        {"abcdèct.ISD", false},  // 11 characters in 12 bytes
        {"ADct.ISD", false},     {"abcdefADct.ISD", false},
        {"abcdADct.ISX", false}, {"abcdADct.ISD.bak", false},
        {"abcdADcx.ISD", false}, {"abcdADctXISD", false},
        {"abcdADct.ÍSD", false}, {"", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Matches(c.name, "??????ct.ISD"), c.matches) << c.name;
    }
}

TEST(MatchesFolded, OtherPatterns) {
    struct Case {
        const char *name;
        const char *pattern;
        bool matches;
    };
    const Case cases[] = {
        {"anything", "*", true},      {"", "*", true},
        {"velko.isd", "*.ISD", true}, {"velko.isd.old", "*.ISD", false},
        {"a.b.isd", "*.isd", true},   {"abc", "a*b*c", true},
        {"acb", "a*b*c", false},      {"aXbYbc", "a*b*c", true},
        {"abc", "???", true},         {"ab", "???", false},
        {"ÈLITE", "èlite", true},  // letters of the Windows-1252 repertoire fold
        {"ŒUVRE", "œuvre", true},     {"×", "÷", false},  // not a letter pair
        {"ΑΒΓ", "αβγ", false},  // beyond that repertoire only exact matches
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Matches(c.name, c.pattern), c.matches) << c.name << " against " << c.pattern;
    }
}

TEST(DecodeFileName, ReadsNamesThatAreNotUtf8AsWindows1252) {
    struct Case {
        const char *name;
        std::string bytes;
        std::u32string characters;
    };
    const Case cases[] = {
        {"UTF-8 stays", "abc\xC3\xA9", U"abcé"},
        {"Latin letter",
         "ab\xE9"
         "dADct.ISD",
         U"abédADct.ISD"},
        {"code page letters",
         "abcd\xC4\xD6"
         "ct.ISD",
         U"abcdÄÖct.ISD"},
        {"euro sign and quotes", "\x80\x93\x94", U"€“”"},
        {"unassigned bytes", "\x81\x8D\x8F\x90\x9D", U"\u0081\u008D\u008F\u0090\u009D"},
        {"valid UTF-8 next to a stray byte reads as one code page", "\xC3\xA9\xE9", U"Ã©é"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8(DecodeFileName(c.bytes)), Utf8(c.characters));
    }
}

}  // namespace
}  // namespace posix
