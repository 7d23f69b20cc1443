// The company code table: its listed entries, the rule it follows, and the
// codes it must leave out.
#include "rebuild/known_codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace rebuild {
namespace {

bool Contains(std::string_view code) {
    return std::find(KnownCodes.begin(), KnownCodes.end(), code) != KnownCodes.end();
}

TEST(KnownCodesTest, HasTheListedEntriesAtTheirPlaces) {
    ASSERT_EQ(KnownCodes.size(), 379u);
    struct Row {
        std::size_t entry;  // counted from 1
        std::string_view code;
    };
    for (const Row &row : {Row{1, "YY"}, Row{2, "AD"}, Row{19, "AZ"}, Row{20, "BB"}, Row{39, "BZ"},
                           Row{40, "CB"}, Row{360, "ZB"}, Row{379, "ZZ"}}) {
        EXPECT_EQ(KnownCodes[row.entry - 1], row.code) << "entry " << row.entry;
    }
}

TEST(KnownCodesTest, IsTheSequenceTheRuleGives) {
    std::vector<std::string> expected = {"YY"};
    for (char first : std::string_view("ABCDEFGHILMNPQRSTUZ")) {
        for (char second : std::string_view("BCDEFGHILMNOPQRSTUVZ")) {
            if (first == 'A' && (second == 'B' || second == 'C')) continue;
            expected.push_back({first, second});
        }
    }
    EXPECT_EQ(std::vector<std::string>(KnownCodes.begin(), KnownCodes.end()), expected);
}

TEST(KnownCodesTest, HoldsNoDuplicatesAndAscendsFromEntry2) {
    EXPECT_EQ(std::set<std::string_view>(KnownCodes.begin(), KnownCodes.end()).size(),
              KnownCodes.size());
    for (std::size_t i = 2; i < KnownCodes.size(); ++i) {
        EXPECT_LT(KnownCodes[i - 1], KnownCodes[i]) << "entries " << i << " and " << i + 1;
    }
}

TEST(KnownCodesTest, LeavesOutWhatTheRuleExcludes) {
    for (std::string_view code :
         {"AA", "AB", "AC", "BA", "ZA", "OA", "OB", "OO", "OZ",  "VB", "VV", "VZ",
          "YA", "YB", "YZ", "ZY", "JB", "BJ", "KB", "BK", "WB",  "BW", "XB", "BX",
          "ad", "yy", "Yy", "aD", "A1", "1A", "A ", "Y",  "YYY", ""}) {
        EXPECT_FALSE(Contains(code)) << "\"" << code << "\"";
    }
    for (std::string_view code : KnownCodes) {
        ASSERT_EQ(code.size(), 2u) << code;
        if (code == "YY") continue;
        EXPECT_EQ(std::string_view("OVY").find(code[0]), std::string_view::npos) << code;
        EXPECT_NE(code[1], 'A') << code;
    }
}

TEST(KnownCodesTest, HasOAndVAsSecondLettersInEveryRow) {
    for (char first : std::string_view("ABCDEFGHILMNPQRSTUZ")) {
        for (char second : {'O', 'V'}) {
            const std::string code = {first, second};
            EXPECT_TRUE(Contains(code)) << code;
        }
    }
}

}  // namespace
}  // namespace rebuild
