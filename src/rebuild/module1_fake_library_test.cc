// Module1 with the recording fake of the store library, loaded through the
// dynamic loader from a directory of its own exactly as the program loads the
// real library: the arguments each call delivers, the results it records, and
// a library that is missing or lacks an operation.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "rebuild/known_codes.h"
#include "rebuild/module1.h"
#include "rebuild/platform_error.h"
#include "ui/posix_store_library.h"
#include "ui/temp_dir.h"

namespace rebuild {
namespace {

namespace fs = std::filesystem;

class Module1FakeLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = (fs::path(dir) / "calls.log").string();
        setenv("FAKE_VBIS_LOG", log.c_str(), 1);
        unsetenv("FAKE_VBIS_RESULTS");
        unsetenv("FAKE_VBIS_SCRIBBLE");
    }

    void TearDown() override {
        unsetenv("FAKE_VBIS_LOG");
        unsetenv("FAKE_VBIS_RESULTS");
        unsetenv("FAKE_VBIS_SCRIBBLE");
    }

    static Module1 Loading(const std::string &library_dir) {
        return Module1(library_dir, std::make_unique<posix::PosixStoreLibrary>());
    }

    std::vector<std::string> Calls() const {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    posix::TempDir temp;
    std::string dir = temp.path().string();
    std::string log;
};

constexpr const char *kEmptyRecord =
    R"({Name="" Text2="" Text3="" Text4="" Flag5=0 Flag6=0 Text7=""})";

TEST_F(Module1FakeLibraryTest, EachOperationReceivesItsArgumentsAsPassed) {
    Module1 module = Loading(FAKE_STORE_DIR);
    CompanyRecord &record = module.CompanyRecord;
    std::string temp = StorePath(dir, "temp");
    int32_t handle = 0;

    module.VmxKill(temp);
    module.VmxCreate(temp, 2, 0, 0, 0, CompanyRecordLayout);
    module.VmxOpen(temp, 0, 3, handle);
    module.VmxPut(handle, KnownCodes[0], record, 0);
    std::string found = "AD";
    record.Name = found;
    record.Flag5 = 1;
    record.Flag6 = 1;
    module.VmxPut(handle, found, record, 0);
    found = "YY";
    record.Name = "Azienda di prova";
    module.VmxPut(handle, found, record, 0);
    module.VmxClose(handle);

    const std::string store = "store=\"" + dir + "/temp\"";
    EXPECT_EQ(
        Calls(),
        (std::vector<std::string>{
            "VmxKill " + store,
            "VmxCreate " + store +
                R"( key_kind=2 page_size=0 reserved1=0 reserved2=0 layout="x40$,$,$,$,%,%,$")",
            "VmxOpen " + store + " flags=0 access=3 handle=0",
            std::string(R"(VmxPut handle=4032 key="YY" record=)") + kEmptyRecord + " mode=0",
            R"(VmxPut handle=4032 key="AD" record={Name="AD" Text2="" Text3="" Text4="" Flag5=1 Flag6=1 Text7=""} mode=0)",
            R"(VmxPut handle=4032 key="YY" record={Name="Azienda di prova" Text2="" Text3="" Text4="" Flag5=1 Flag6=1 Text7=""} mode=0)",
            "VmxClose handle=4032",
        }));
    // What came back from the library is what went in.
    EXPECT_EQ(temp, dir + "/temp");
    EXPECT_EQ(found, "YY");
    EXPECT_EQ(handle, 4032);
    EXPECT_EQ(record.Name, "Azienda di prova");
    EXPECT_EQ(record.Flag5, 1);
}

TEST_F(Module1FakeLibraryTest, ConstantsAreFreshOnEveryCallEvenWhenTheLibraryOverwritesThem) {
    setenv("FAKE_VBIS_SCRIBBLE", "1", 1);
    Module1 module = Loading(FAKE_STORE_DIR);
    std::string temp = StorePath(dir, "temp");
    int32_t handle = 0;
    for (int round = 0; round < 2; ++round) {
        module.VmxCreate(temp, 2, 0, 0, 0, CompanyRecordLayout);
        module.VmxOpen(temp, 0, 3, handle);
        module.VmxPut(handle, KnownCodes[0], module.CompanyRecord, 0);
        module.VmxPut(handle, KnownCodes[1], module.CompanyRecord, 0);
    }
    const std::string store = "store=\"" + dir + "/temp\"";
    std::vector<std::string> expected;
    for (const char *handle_before : {"0", "4032"}) {
        expected.push_back(
            "VmxCreate " + store +
            R"( key_kind=2 page_size=0 reserved1=0 reserved2=0 layout="x40$,$,$,$,%,%,$")");
        expected.push_back("VmxOpen " + store + " flags=0 access=3 handle=" + handle_before);
        for (const char *key : {"YY", "AD"}) {
            expected.push_back(std::string("VmxPut handle=4032 key=\"") + key +
                               "\" record=" + kEmptyRecord + " mode=0");
        }
    }
    EXPECT_EQ(Calls(), expected);
}

TEST_F(Module1FakeLibraryTest, LastStoreResultKeepsOnlyTheLatestResult) {
    setenv("FAKE_VBIS_RESULTS", "VmxKill:1,VmxCreate:5,VmxOpen:-1,VmxPut#1:7", 1);
    Module1 module = Loading(FAKE_STORE_DIR);
    std::string temp = StorePath(dir, "temp");
    int32_t handle = 0;
    EXPECT_FALSE(module.LastStoreResult.has_value());
    struct Row {
        const char *call;
        std::function<int16_t()> make;
        int16_t result;
    };
    const std::vector<Row> rows = {
        {"VmxKill", [&] { return module.VmxKill(temp); }, 1},
        {"VmxCreate", [&] { return module.VmxCreate(temp, 2, 0, 0, 0, CompanyRecordLayout); }, 5},
        {"VmxOpen", [&] { return module.VmxOpen(temp, 0, 3, handle); }, -1},
        {"failed VmxPut", [&] { return module.VmxPut(handle, "YY", module.CompanyRecord, 0); }, 7},
        {"VmxPut", [&] { return module.VmxPut(handle, "AD", module.CompanyRecord, 0); }, 0},
        {"VmxClose", [&] { return module.VmxClose(handle); }, 0},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.make(), row.result) << row.call;
        EXPECT_EQ(module.LastStoreResult, std::optional<int16_t>(row.result)) << row.call;
    }
    EXPECT_EQ(Calls().size(), rows.size());
}

TEST_F(Module1FakeLibraryTest, AMissingLibraryIsAPlatformErrorAndNoCall) {
    // The temporary directory holds no library.
    Module1 module = Loading(dir);
    std::string temp = StorePath(dir, "temp");
    try {
        module.VmxKill(temp);
        FAIL() << "no PlatformError";
    } catch (const PlatformError &error) {
        EXPECT_NE(std::string(error.what()).find(dir + "/libvbis4032.so"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(module.LastStoreResult.has_value());
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(Module1FakeLibraryTest, AMissingOperationIsAPlatformErrorAndNoCall) {
    setenv("FAKE_VBIS_RESULTS", "VmxOpen:3", 1);
    Module1 module = Loading(FAKE_STORE_WITHOUT_PUT_DIR);
    std::string temp = StorePath(dir, "temp");
    int32_t handle = 0;
    module.VmxKill(temp);
    module.VmxCreate(temp, 2, 0, 0, 0, CompanyRecordLayout);
    module.VmxOpen(temp, 0, 3, handle);
    module.CompanyRecord.Name = "AD";
    try {
        module.VmxPut(handle, "AD", module.CompanyRecord, 0);
        FAIL() << "no PlatformError";
    } catch (const PlatformError &error) {
        EXPECT_NE(std::string(error.what()).find("VmxPut"), std::string::npos) << error.what();
    }
    EXPECT_EQ(module.LastStoreResult, std::optional<int16_t>(3));
    EXPECT_EQ(module.CompanyRecord.Name, "AD");
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls.back().starts_with("VmxOpen ")) << calls.back();
}

}  // namespace
}  // namespace rebuild
