// The rebuild after discovery, with the recording fake of the store library
// loaded the way the program loads the real one, and the platform's fakes:
// the exact store calls of a build, what a failing call leads to, and the
// creation message.
#include "rebuild/registry_rebuild.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rebuild/fake_platform.h"
#include "rebuild/known_codes.h"
#include "rebuild/platform_error.h"
#include "rebuild/registry_build.h"
#include "rebuild/registry_installation.h"
#include "ui/posix_store_library.h"
#include "ui/temp_dir.h"

namespace rebuild {
namespace {

namespace fs = std::filesystem;

constexpr char kEmptyRecord[] = R"({Name="" Text2="" Text3="" Text4="" Flag5=0 Flag6=0 Text7=""})";

std::string CompanyRecordText(const std::string &name) {
    return "{Name=\"" + name + R"(" Text2="" Text3="" Text4="" Flag5=1 Flag6=1 Text7=""})";
}

class RegistryRebuildTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = log_dir + "/calls.log";
        setenv("FAKE_VBIS_LOG", log.c_str(), 1);
        unsetenv("FAKE_VBIS_RESULTS");
        // The fake stores nothing, so the files it would have written are
        // given to the fake file system.
        for (const char *ext : kStoreExtensions) fake.file_system.files[dir + "/temp" + ext] = ext;
    }
    void TearDown() override {
        unsetenv("FAKE_VBIS_LOG");
        unsetenv("FAKE_VBIS_RESULTS");
    }

    // Runs the stages with `codes` found in `library_dir`'s stand-in of the
    // program directory; true if the program ended.
    bool Run(const std::vector<std::string> &codes,
             const std::string &library_dir = FAKE_STORE_DIR) {
        FoundCompanies found;
        for (const auto &code : codes)
            found.FoundCodes[static_cast<std::size_t>(++found.FoundCount)] = code;
        RegistryRebuilder rebuilder(fake.platform,
                                    [] { return std::make_unique<posix::PosixStoreLibrary>(); });
        // The library is looked for in the program's directory: here, the
        // fake's own directory stands in for it.
        found.ProgramDir = library_dir;
        dir_used = library_dir;
        try {
            rebuilder.Run(found);
        } catch (const ProgramEnded &) {
            return true;
        }
        return false;
    }

    std::vector<std::string> Calls() const {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string Store(const char *name) const { return "\"" + dir_used + "/" + name + "\""; }

    FakePlatform fake;
    std::string dir = FAKE_STORE_DIR;
    std::string dir_used;
    posix::TempDir temp;
    std::string log_dir = temp.path().string(), log;
};

TEST_F(RegistryRebuildTest, BuildsThePlaceholdersThenTheCompaniesAndInstalls) {
    ASSERT_TRUE(Run({"AD", "YY"}));

    std::vector<std::string> expected = {
        "VmxKill store=" + Store("temp"),
        "VmxCreate store=" + Store("temp") +
            R"( key_kind=2 page_size=0 reserved1=0 reserved2=0 layout="x40$,$,$,$,%,%,$")",
        "VmxOpen store=" + Store("temp") + " flags=0 access=3 handle=0",
    };
    for (std::string_view code : KnownCodes) {
        expected.push_back("VmxPut handle=4032 key=\"" + std::string(code) +
                           "\" record=" + kEmptyRecord + " mode=0");
    }
    expected.push_back("VmxPut handle=4032 key=\"AD\" record=" + CompanyRecordText("AD") +
                       " mode=0");
    expected.push_back("VmxPut handle=4032 key=\"YY\" record=" +
                       CompanyRecordText("Azienda di prova") + " mode=0");
    expected.push_back("VmxClose handle=4032");
    expected.push_back("VmxVerify store=" + Store("velko.new") + " message_size=512");
    expected.push_back("VmxRename from=" + Store("velko") + " to=" + Store("velko.old"));
    expected.push_back("VmxRename from=" + Store("velko.new") + " to=" + Store("velko"));
    expected.push_back("VmxKill store=" + Store("velko.old"));
    EXPECT_EQ(Calls(), expected);
    EXPECT_EQ(Calls().size(), 3u + 381u + 1u + 4u);

    // The four files staged in their order, and one box: the completion.
    std::vector<std::string> copies;
    for (const auto &entry : fake.log) {
        if (entry.rfind("CopyFile", 0) == 0) copies.push_back(entry);
    }
    EXPECT_EQ(copies, (std::vector<std::string>{
                          "CopyFile " + dir + "/temp.isd " + dir + "/velko.new.isd",
                          "CopyFile " + dir + "/temp.isl " + dir + "/velko.new.isl",
                          "CopyFile " + dir + "/temp.isf " + dir + "/velko.new.isf",
                          "CopyFile " + dir + "/temp.ism " + dir + "/velko.new.ism",
                      }));
    EXPECT_EQ(
        fake.ui.messages,
        (std::vector<ShownMessage>{{kDoneMessage, MessageStyle::kInformation, std::string()}}));
    EXPECT_EQ(fake.log.back(), "EndProgram");
}

TEST_F(RegistryRebuildTest, CompanyWritesFollowTheOrderFoundAndKeepTheirCase) {
    ASSERT_TRUE(Run({"yy", "A1", "YY", "ZZ"}));
    std::vector<std::string> calls = Calls();
    // After kill, create, open and the 379 placeholders.
    std::vector<std::string> companies(calls.begin() + 3 + 379, calls.begin() + 3 + 379 + 4);
    EXPECT_EQ(companies,
              (std::vector<std::string>{
                  "VmxPut handle=4032 key=\"yy\" record=" + CompanyRecordText("yy") + " mode=0",
                  "VmxPut handle=4032 key=\"A1\" record=" + CompanyRecordText("A1") + " mode=0",
                  "VmxPut handle=4032 key=\"YY\" record=" + CompanyRecordText("Azienda di prova") +
                      " mode=0",
                  "VmxPut handle=4032 key=\"ZZ\" record=" + CompanyRecordText("ZZ") + " mode=0",
              }));
}

TEST_F(RegistryRebuildTest, AFailedCreationIsToldTheBuildGoesOnAndNothingIsInstalled) {
    setenv("FAKE_VBIS_RESULTS", "VmxCreate:5", 1);
    ASSERT_TRUE(Run({"AD"}));
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 3u + 380u + 1u);  // open, every put and the close still made
    EXPECT_EQ(calls.back(), "VmxClose handle=4032");
    EXPECT_EQ(fake.ui.messages,
              (std::vector<ShownMessage>{
                  {"Errore creazione file temp  5", MessageStyle::kInformation, std::nullopt},
                  {kNotModifiedMessage, MessageStyle::kWarning, std::nullopt},
              }));
    for (const auto &entry : fake.log)
        EXPECT_EQ(entry.rfind("CopyFile", 0), std::string::npos) << entry;
}

TEST_F(RegistryRebuildTest, AnyFailedCallOfTheBuildKeepsTheRegistry) {
    for (const char *results : {"VmxOpen:7", "VmxPut#1:7", "VmxPut#380:9", "VmxClose:8"}) {
        SCOPED_TRACE(results);
        setenv("FAKE_VBIS_RESULTS", results, 1);
        fs::remove(log);
        fake.ui.messages.clear();
        ASSERT_TRUE(Run({"AD"}));
        // Every call is still made (a failed open leaves the handle 0 for the
        // rest), and none of the installation's.
        EXPECT_EQ(Calls().size(), 3u + 380u + 1u);
        EXPECT_EQ(Calls().back().rfind("VmxClose handle=", 0), 0u);
        EXPECT_EQ(fake.ui.messages,
                  (std::vector<ShownMessage>{
                      {kNotModifiedMessage, MessageStyle::kWarning, std::nullopt}}));
    }
}

TEST_F(RegistryRebuildTest, AFailedKillOfTheOldTempStoreIsNoObstacle) {
    setenv("FAKE_VBIS_RESULTS", "VmxKill#1:1", 1);
    ASSERT_TRUE(Run({"AD"}));
    EXPECT_EQ(fake.ui.messages.back().text, kDoneMessage);
}

TEST_F(RegistryRebuildTest, TheCreationMessageWritesTheResultAsItIs) {
    struct Row {
        int16_t result;
        const char *text;
    } rows[] = {
        {5, "Errore creazione file temp  5"},          {-1, "Errore creazione file temp -1"},
        {2, "Errore creazione file temp  2"},          {32767, "Errore creazione file temp  32767"},
        {-32768, "Errore creazione file temp -32768"},
    };
    for (const auto &row : rows) EXPECT_EQ(CreateErrorText(row.result), row.text) << row.result;
}

TEST_F(RegistryRebuildTest, ALibraryThatLacksAnOperationStopsTheBuildThere) {
    fake.log.clear();
    EXPECT_THROW(Run({"AD"}, FAKE_STORE_WITHOUT_PUT_DIR), PlatformError);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);  // kill, create, open: the first put finds no operation
    EXPECT_TRUE(fake.ui.messages.empty());
    for (const auto &entry : fake.log)
        EXPECT_EQ(entry.rfind("CopyFile", 0), std::string::npos) << entry;
}

TEST_F(RegistryRebuildTest, NoLibraryNoStoreCall) {
    EXPECT_THROW(Run({"AD"}, log_dir), PlatformError);
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(fake.ui.messages.empty());
}

}  // namespace
}  // namespace rebuild
