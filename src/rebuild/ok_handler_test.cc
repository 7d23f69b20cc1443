// The OK handler's outcomes, and its runs inside its own pump pass.
#include "rebuild/ok_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rebuild/fake_platform.h"
#include "rebuild/platform_error.h"

namespace rebuild {
namespace {

class FakeRegistryRebuild final : public RegistryRebuild {
  public:
    explicit FakeRegistryRebuild(CallLog &log) : log_(log) {}

    void Run(const FoundCompanies &found) override {
        log_.push_back("RegistryRebuild");
        runs.push_back(found);
        if (then) then();
    }

    std::vector<FoundCompanies> runs;
    std::function<void()> then;  // what the stages do once called, e.g. end the program

  private:
    CallLog &log_;
};

class OkHandlerTest : public testing::Test {
  protected:
    FakePlatform fake;
    FakeRegistryRebuild registry_rebuild{fake.log};
    OkHandler handler{fake.platform, registry_rebuild};

    void ClickOkDuringThePumpPass() {
        fake.ui.pending.push_back([this] { handler.Run(); });
    }
    void ClickAnnullaDuringThePumpPass() {
        fake.ui.pending.push_back([this] { fake.ui.EndProgram(); });
    }
    long Calls(const std::string &entry) const {
        return std::count(fake.log.begin(), fake.log.end(), entry);
    }
};

std::vector<std::string> ArchivesOfDistinctCompanies(int count) {
    std::vector<std::string> names;
    for (int n = 0; n < count; ++n) {
        names.push_back(std::string("abcd") + static_cast<char>('A' + n / 26) +
                        static_cast<char>('a' + n % 26) + "ct.ISD");
    }
    return names;
}

TEST(OkHandler, OutcomeFollowsWhatWasFound) {
    struct Case {
        std::string name;
        std::vector<std::string> listing;
        std::vector<ShownMessage> messages;
        bool rebuilds;
    };
    const std::vector<Case> cases = {
        {"no archive", {}, {{kNoArchivesMessage, MessageStyle::kWarning, std::nullopt}}, false},
        {"one company", {"abcdADct.ISD"}, {}, true},
        {"100 companies", ArchivesOfDistinctCompanies(100), {}, true},
        {"101 companies",
         ArchivesOfDistinctCompanies(101),
         {{kTooManyCompaniesMessage, MessageStyle::kWarning, std::nullopt}},
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        FakeRegistryRebuild registry_rebuild{fake.log};
        OkHandler handler{fake.platform, registry_rebuild};
        fake.file_list.names = c.listing;

        handler.Run();

        EXPECT_EQ(fake.ui.messages, c.messages);
        ASSERT_EQ(registry_rebuild.runs.size(), c.rebuilds ? 1u : 0u);
        if (c.rebuilds) {
            EXPECT_EQ(registry_rebuild.runs[0].ProgramDir, fake.file_system.executable_directory);
            EXPECT_EQ(registry_rebuild.runs[0].FoundCount,
                      static_cast<std::int16_t>(c.listing.size()));
        }
    }
}

TEST_F(OkHandlerTest, EveryClickScansAnewAfterNothingWasFound) {
    handler.Run();
    fake.file_list.names = {"abcdADct.ISD"};
    handler.Run();

    EXPECT_EQ(Calls("SetDirectory /srv/suite"), 2);
    EXPECT_EQ(fake.ui.messages.size(), 1u);
    ASSERT_EQ(registry_rebuild.runs.size(), 1u);
    EXPECT_EQ(registry_rebuild.runs[0].FoundCodes[1], "AD");
}

TEST_F(OkHandlerTest, PlatformErrorPassesThroughBeforeAnythingIsShownOrBuilt) {
    fake.file_list.directory_error = "No such file or directory";

    EXPECT_THROW(handler.Run(), PlatformError);

    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_TRUE(registry_rebuild.runs.empty());
}

TEST_F(OkHandlerTest, AnnullaPendingAtThePumpPassEndsTheProgramBeforeAnyNameIsRead) {
    fake.file_list.names = {"abcdADct.ISD"};
    ClickAnnullaDuringThePumpPass();

    EXPECT_THROW(handler.Run(), ProgramEnded);

    EXPECT_EQ(fake.log.back(), "EndProgram");
    EXPECT_EQ(Calls("Count"), 0);
    EXPECT_TRUE(registry_rebuild.runs.empty());
}

TEST_F(OkHandlerTest, OkPendingAtThePumpPassRunsTheHandlerInsideTheFirstRun) {
    ClickOkDuringThePumpPass();

    handler.Run();

    const CallLog expected = {
        "ExecutableDirectory",
        "SetDirectory /srv/suite",
        "SetPattern ??????ct.ISD",
        "PumpEvents",
        // the second run, complete, inside the first one's pump pass
        "ExecutableDirectory",
        "SetDirectory /srv/suite",
        "SetPattern ??????ct.ISD",
        "PumpEvents",
        "Count",
        std::string("ShowMessage ") + kNoArchivesMessage,
        // the first run goes on
        "Count",
        std::string("ShowMessage ") + kNoArchivesMessage,
    };
    EXPECT_EQ(fake.log, expected);
}

TEST_F(OkHandlerTest, FirstRunNeverResumesWhenTheInnerRunEndsTheProgram) {
    fake.file_list.names = {"abcdADct.ISD"};
    registry_rebuild.then = [this] { fake.ui.EndProgram(); };
    ClickOkDuringThePumpPass();

    EXPECT_THROW(handler.Run(), ProgramEnded);

    EXPECT_EQ(registry_rebuild.runs.size(), 1u);
    EXPECT_EQ(Calls("Count"), 1) << "only the inner run read the listing";
    EXPECT_EQ(fake.log.back(), "EndProgram");
}

}  // namespace
}  // namespace rebuild
