#include "layout.h"

#include <gtest/gtest.h>

#include <cstring>

#include "test_util.h"

namespace vbis {
namespace {

TEST(Layout, ParsesTheDocumentedForm) {
    struct Case {
        const char *text;
        size_t fields, key_max, block;
    } cases[] = {
        {"x40$,$,$,$,%,%,$", 7, 40, 5 * sizeof(char *) + 4},
        {"$", 1, VMX_KEY_MAX, sizeof(char *)},
        {"%", 1, VMX_KEY_MAX, 2},
        {"x1%,%", 2, 1, 4},
        {"x255$", 1, 255, sizeof(char *)},
    };
    for (const auto &c : cases) {
        Layout l;
        ASSERT_TRUE(Layout::Parse(c.text, &l).ok()) << c.text;
        EXPECT_EQ(l.fields().size(), c.fields) << c.text;
        EXPECT_EQ(l.key_max(), c.key_max) << c.text;
        EXPECT_EQ(l.block_size(), c.block) << c.text;
    }
}

TEST(Layout, RejectsEverythingElse) {
    std::string too_many = "$";
    for (int i = 0; i < 255; ++i) too_many += ",$";
    for (std::string text :
         {"", ",", "$,", ",$", "$,,$", "$ ,$", " $", "#", "$$", "x$", "x0$", "x256$", "x40", "X40$",
          "$,x4$", "x40$,$,$,$,%,%,$,", "x0040$", too_many.c_str()}) {
        Layout l;
        EXPECT_EQ(Layout::Parse(text, &l).code(), VMX_BAD_ARGUMENT) << '"' << text << '"';
    }
}

TEST(Layout, EncodesAndDecodesTheRegistryRecord) {
    Layout l;
    ASSERT_TRUE(Layout::Parse(test::kRegistryLayout, &l).ok());
    test::Record r("Azienda di prova", 1, -2, "t\t3", "\xE0");
    std::string bytes;
    ASSERT_TRUE(l.Encode(r.Block().data(), &bytes).ok());
    EXPECT_TRUE(l.Valid(bytes));
    // name: length 16 little-endian, then the bytes.
    EXPECT_EQ(bytes.substr(0, 2), std::string("\x10\x00", 2));
    EXPECT_EQ(bytes.substr(2, 16), "Azienda di prova");

    std::vector<unsigned char> block(l.block_size());
    std::vector<std::string> texts;
    l.Decode(bytes, block.data(), &texts);
    EXPECT_EQ(test::Record::FromBlock(block.data()), r);

    EXPECT_FALSE(l.Valid(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(l.Valid(bytes + "x"));
}

TEST(Layout, RefusesANullText) {
    Layout l;
    ASSERT_TRUE(Layout::Parse("$,%", &l).ok());
    unsigned char block[sizeof(char *) + 2] = {};
    std::string bytes;
    EXPECT_EQ(l.Encode(block, &bytes).code(), VMX_BAD_ARGUMENT);
}

}  // namespace
}  // namespace vbis
