// Discovery over listings as File1 reports them (the filtering by pattern is
// File1's and is tested with it).
#include "rebuild/discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rebuild/fake_platform.h"

namespace rebuild {
namespace {

// A matching archive name for `code`, with `stem` as its first four characters.
std::string ArchiveName(const std::string &code, const std::string &stem = "abcd") {
    return stem + code + "ct.ISD";
}

// The two-character code number `n`, all distinct for n below 26 * 26.
std::string NumberedCode(int n) {
    return {static_cast<char>('A' + n / 26), static_cast<char>('a' + n % 26)};
}

std::vector<std::string> NumberedCodes(int count) {
    std::vector<std::string> codes;
    for (int n = 0; n < count; ++n) codes.push_back(NumberedCode(n));
    return codes;
}

std::vector<std::string> ArchivesFor(const std::vector<std::string> &codes) {
    std::vector<std::string> names;
    for (const auto &code : codes) names.push_back(ArchiveName(code));
    return names;
}

std::vector<std::string> Codes(const FoundCompanies &found) {
    return {found.FoundCodes.begin() + 1, found.FoundCodes.begin() + 1 + found.FoundCount};
}

struct ListingCase {
    std::string name;
    std::vector<std::string> listing;
    std::vector<std::string> codes;
    bool too_many = false;
};

std::vector<ListingCase> ListingCases() {
    std::vector<ListingCase> cases = {
        {"empty listing", {}, {}},
        {"one company with two archives", {"abcdADct.ISD", "wxyzADct.ISD"}, {"AD"}},
        {"letter case makes two companies", {"abcdadct.isd", "wxyzADct.ISD"}, {"ad", "AD"}},
        {"digits, spaces and punctuation taken as they are",
         {"abcd12ct.ISD", "abcd .ct.ISD", "abcd-,ct.ISD"},
         {"12", " .", "-,"}},
        {"characters beyond ASCII are taken whole",
         {"abcdÀéct.ISD", "ab€d€xct.ISD", "abcd😀zct.ISD"},
         {"Àé", "€x", "😀z"}},
        {"codes kept in order of first appearance",
         {"aaaaBBct.ISD", "bbbbAAct.ISD", "ccccBBct.ISD", "ddddCCct.ISD", "eeeeAAct.ISD"},
         {"BB", "AA", "CC"}},
    };

    std::vector<std::string> many_names;
    for (int n = 0; n < 250; ++n) many_names.push_back(ArchiveName(NumberedCode(n % 3)));
    cases.push_back({"250 names of 3 companies", many_names, NumberedCodes(3)});

    cases.push_back({"100 companies", ArchivesFor(NumberedCodes(100)), NumberedCodes(100)});

    auto hundred_twice = ArchivesFor(NumberedCodes(100));
    const auto again = ArchivesFor(NumberedCodes(100));
    hundred_twice.insert(hundred_twice.end(), again.begin(), again.end());
    cases.push_back({"100 companies, each named twice", hundred_twice, NumberedCodes(100)});

    cases.push_back(
        {"101 companies", ArchivesFor(NumberedCodes(101)), NumberedCodes(100), /*too_many=*/true});

    auto late_newcomer = hundred_twice;
    late_newcomer.push_back(ArchiveName("zz"));
    cases.push_back({"a 101st company after repeated names", late_newcomer, NumberedCodes(100),
                     /*too_many=*/true});
    return cases;
}

TEST(DiscoverCompanies, CollectsDistinctCodesOfTheListing) {
    for (const auto &c : ListingCases()) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        fake.file_list.names = c.listing;

        const FoundCompanies found = DiscoverCompanies(fake.platform);

        EXPECT_EQ(Codes(found), c.codes);
        EXPECT_EQ(found.FoundCount, static_cast<std::int16_t>(c.codes.size()));
        EXPECT_EQ(found.TooManyCompanies, c.too_many);
        EXPECT_EQ(found.FoundCodes[0], "") << "slot 0 is never used";
        for (std::size_t slot = c.codes.size() + 1; slot < found.FoundCodes.size(); ++slot) {
            EXPECT_EQ(found.FoundCodes[slot], "") << "slot " << slot;
        }
        EXPECT_EQ(found.ProgramDir, fake.file_system.executable_directory);
    }
}

TEST(DiscoverCompanies, ListsTheProgramDirectoryAfterOnePumpPass) {
    FakePlatform fake;
    fake.file_system.executable_directory = "/opt/suite data";
    fake.file_list.names = {"abcdADct.ISD", "abcdYYct.ISD"};

    DiscoverCompanies(fake.platform);

    const CallLog expected = {
        "ExecutableDirectory",
        "SetDirectory /opt/suite data",
        "SetPattern ??????ct.ISD",
        "PumpEvents",
        "Count",
        "Select 0",
        "SelectedName",
        "Select 1",
        "SelectedName",
    };
    EXPECT_EQ(fake.log, expected);
}

TEST(DiscoverCompanies, StopsReadingAtTheFirstCompanyBeyondTheHundredth) {
    FakePlatform fake;
    fake.file_list.names = ArchivesFor(NumberedCodes(150));

    DiscoverCompanies(fake.platform);

    EXPECT_EQ(fake.log.back(), "SelectedName");
    EXPECT_EQ(fake.log[fake.log.size() - 2], "Select 100");
}

}  // namespace
}  // namespace rebuild
