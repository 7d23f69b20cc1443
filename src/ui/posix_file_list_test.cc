// The file list over real temporary directories.
#include "ui/posix_file_list.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "rebuild/fake_platform.h"
#include "rebuild/ok_handler.h"
#include "rebuild/platform_error.h"
#include "ui/temp_dir.h"

namespace posix {
namespace {

using testing::HasSubstr;

std::vector<std::string> Listing(PosixFileList &list) {
    std::vector<std::string> names;
    const std::int16_t count = list.Count();
    for (std::int16_t i = 0; i < count; ++i) {
        list.Select(i);
        names.push_back(list.SelectedName());
    }
    return names;
}

std::vector<std::string> ListArchives(const TempDir &dir) {
    PosixFileList list;
    list.SetDirectory(dir.path());
    list.SetPattern("??????ct.ISD");
    return Listing(list);
}

TEST(PosixFileList, ListsOnlyRegularFilesAndLinksToThem) {
    TempDir dir;
    dir.AddFile("abcdADct.ISD");
    dir.AddFile("target.dat");
    dir.AddLink("abcdLFct.ISD", "target.dat");
    dir.AddFile("abcdROct.ISD");
    chmod((dir / "abcdROct.ISD").c_str(), 0444);  // read-only
    dir.AddFile("abcdNPct.ISD");
    chmod((dir / "abcdNPct.ISD").c_str(), 0);  // only its name is needed
    dir.AddFile(".bcdHHct.ISD");               // hidden
    dir.AddDirectory("abcdDDct.ISD");
    dir.AddDirectory("sub");
    dir.AddLink("abcdLDct.ISD", "sub");
    dir.AddLink("abcdBLct.ISD", "missing");
    dir.AddPipe("abcdPPct.ISD");
    dir.AddSocket("abcdSSct.ISD");

    EXPECT_THAT(ListArchives(dir), testing::ElementsAre("abcdADct.ISD", "abcdLFct.ISD",
                                                        "abcdNPct.ISD", "abcdROct.ISD"));
}

TEST(PosixFileList, MatchesRegardlessOfCaseAndSortsIgnoringIt) {
    TempDir dir;
    for (const char *name :
         {"abcdadct.isd", "ABCDADCT.ISD", "AbCdAdCt.IsD", "abcdèéct.ISD",
          "ab\xE9"
          "dADct.ISD",
          "abcd\xC4\xD6"
          "ct.ISD",
          "abcdèct.ISD", "abcdefADct.ISD", "ADct.ISD", "abcdADct.ISX", "abcdADct.ISD.bak"}) {
        dir.AddFile(name);
    }

    // Names that are not UTF-8 come back read as Windows-1252, in UTF-8.
    EXPECT_THAT(ListArchives(dir),
                testing::ElementsAre("ABCDADCT.ISD", "AbCdAdCt.IsD", "abcdadct.isd", "abcdÄÖct.ISD",
                                     "abcdèéct.ISD", "abédADct.ISD"));
}

TEST(PosixFileList, PatternFiltersTheListingOfTheDirectory) {
    TempDir dir;
    dir.AddFile("b.txt");
    dir.AddFile("A.txt");
    dir.AddFile("abcdADct.ISD");
    PosixFileList list;

    list.SetDirectory(dir.path());
    EXPECT_THAT(Listing(list), testing::ElementsAre("A.txt", "abcdADct.ISD", "b.txt"))
        << "every file before a pattern is set";

    list.SetPattern("*.TXT");
    EXPECT_THAT(Listing(list), testing::ElementsAre("A.txt", "b.txt"));
}

TEST(PosixFileList, SelectsByIndex) {
    TempDir dir;
    dir.AddFile("abcdADct.ISD");
    PosixFileList list;
    list.SetDirectory(dir.path());

    EXPECT_EQ(list.SelectedName(), "") << "nothing selected after listing";
    list.Select(0);
    EXPECT_EQ(list.SelectedName(), "abcdADct.ISD");
    list.Select(-1);
    EXPECT_EQ(list.SelectedName(), "");
    EXPECT_THROW(list.Select(1), rebuild::PlatformError);
    EXPECT_THROW(list.Select(-2), rebuild::PlatformError);
}

TEST(PosixFileList, DirectoryThatCannotBeListedIsAPlatformErrorWithItsCause) {
    TempDir dir;
    dir.AddFile("file");
    struct Case {
        const char *name;
        std::string path;
        std::string cause;
    };
    const Case cases[] = {
        {"missing", dir / "missing", std::strerror(ENOENT)},
        {"a file", dir / "file", std::strerror(ENOTDIR)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        PosixFileList list;
        try {
            list.SetDirectory(c.path);
            ADD_FAILURE() << "listed";
        } catch (const rebuild::PlatformError &error) {
            EXPECT_THAT(error.what(), HasSubstr(c.path));
            EXPECT_THAT(error.what(), HasSubstr(c.cause));
        }
    }
}

TEST(PosixFileList, MoreNamesThanTheCountCanHoldIsAPlatformError) {
    TempDir dir;
    for (int i = 0; i <= 32767; ++i) {
        const int fd = open((dir / std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    PosixFileList list;
    list.SetDirectory(dir.path());
    EXPECT_THROW(list.Count(), rebuild::PlatformError);

    unlink((dir / "0").c_str());
    list.SetDirectory(dir.path());
    EXPECT_EQ(list.Count(), 32767);
}

// Discovery wired to the real listing: the codes are those of the names the
// listing keeps.
TEST(PosixFileList, DiscoveryFindsTheCompaniesOfARealDirectory) {
    TempDir dir;
    for (const char *name : {"abcdADct.ISD", "wxyzADct.ISD", "abcdadct.isd", "abcd12ct.ISD",
                             "ADct.ISD", "abcdefADct.ISD", "abcdXXct.ISX", ".bcdHHct.ISD"}) {
        dir.AddFile(name);
    }
    dir.AddDirectory("abcdDDct.ISD");
    rebuild::FakePlatform fake;
    PosixFileList file1;
    rebuild::Platform platform{fake.ui, fake.file_system, file1};
    fake.file_system.executable_directory = dir.path();

    const rebuild::FoundCompanies found = rebuild::DiscoverCompanies(platform);

    // Sorted ignoring case: "abcd12", "abcdADct.ISD" then "abcdadct.isd" (tie
    // broken by bytes), "wxyzAD".
    const std::vector<std::string> codes(found.FoundCodes.begin() + 1,
                                         found.FoundCodes.begin() + 1 + found.FoundCount);
    EXPECT_THAT(codes, testing::ElementsAre("12", "AD", "ad"));
}

}  // namespace
}  // namespace posix
