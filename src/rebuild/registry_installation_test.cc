// The rebuild with the real store library and the real file system in a
// directory of its own, as the program runs it: what the registry holds
// afterwards, and that no failure of the installation costs the registry.
#include "rebuild/registry_installation.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "rebuild/fake_platform.h"
#include "rebuild/platform_error.h"
#include "rebuild/registry_rebuild.h"
#include "ui/posix_file_system.h"
#include "ui/posix_store_library.h"
#include "ui/temp_dir.h"
#include "vbis4032.h"

namespace rebuild {
namespace {

namespace fs = std::filesystem;

// The real file system, with copies that fail on demand.
class FlakyFileSystem final : public FileSystem {
  public:
    std::string ExecutableDirectory() override { return real_.ExecutableDirectory(); }
    void CopyFile(const std::string &source, const std::string &destination) override {
        if (failing.count(++copies) != 0) throw PlatformError("injected copy failure");
        real_.CopyFile(source, destination);
    }
    bool FileExists(const std::string &path) override { return real_.FileExists(path); }

    std::set<int> failing;  // the copies, counted from 1, that fail
    int copies = 0;

  private:
    posix::PosixFileSystem real_;
};

// The real library, whose VmxRename fails on its nth call.
class RenameFailingLibrary final : public StoreLibrary {
  public:
    explicit RenameFailingLibrary(int failing_call) {
        failing_call_ = failing_call;
        calls_ = 0;
    }
    void Load(const std::string &path) override { real_.Load(path); }
    StoreOperation Lookup(const std::string &name) override {
        StoreOperation operation = real_.Lookup(name);
        if (name != "VmxRename") return operation;
        rename_ = reinterpret_cast<Module1::VmxRenameFn>(operation);
        return reinterpret_cast<StoreOperation>(&Rename);
    }

  private:
    static int16_t Rename(const char *const *from, const char *const *to) {
        return ++calls_ == failing_call_ ? int16_t{VMX_IO_ERROR} : rename_(from, to);
    }
    static inline int failing_call_ = 0, calls_ = 0;
    static inline Module1::VmxRenameFn rename_ = nullptr;
    posix::PosixStoreLibrary real_;
};

using Files = std::map<std::string, std::string>;

class RegistryInstallationTest : public ::testing::Test {
  public:
    void SetUp() override {
        temp = std::make_unique<posix::TempDir>();
        dir = temp->path().string();
        fs::copy_file(VBIS_LIBRARY, dir + "/libvbis4032.so");
        for (int i = 0; i < 4; ++i) found.FoundCodes[static_cast<std::size_t>(i + 1)] = codes[i];
        found.FoundCount = 4;
        found.ProgramDir = dir;
    }

    // Runs the stages; true if the program ended.
    bool Run(std::function<std::unique_ptr<StoreLibrary>()> make_library = [] {
        return std::make_unique<posix::PosixStoreLibrary>();
    }) {
        RegistryRebuilder rebuilder(platform, std::move(make_library));
        try {
            rebuilder.Run(found);
        } catch (const ProgramEnded &) {
            return true;
        }
        return false;
    }

    // A registry of the suite's own: one company, "OA", a code outside the table.
    void MakeRegistry(const char *base = "velko") {
        const std::string path = dir + "/" + base;
        const char *store = path.c_str(), *layout = "x40$,$,$,$,%,%,$";
        int16_t two = 2, zero = 0, three = 3;
        int32_t page = 0, handle = 0;
        ASSERT_EQ(VmxCreate(&store, &two, &page, &zero, &zero, &layout), VMX_OK);
        ASSERT_EQ(VmxOpen(&store, &zero, &three, &handle), VMX_OK);
        const char *key = "OA", *name = "Officine Alfa", *empty = "";
        unsigned char block[CompanyRecordBlockSize] = {};
        std::memcpy(block, &name, sizeof name);
        for (int i = 1; i < 4; ++i) std::memcpy(block + i * sizeof(char *), &empty, sizeof empty);
        std::memcpy(block + 4 * sizeof(char *) + 4, &empty, sizeof empty);
        ASSERT_EQ(VmxPut(&handle, &key, block, &zero), VMX_OK);
        ASSERT_EQ(VmxClose(&handle), VMX_OK);
    }

    Files StoreFiles(const std::string &base) const {
        Files files;
        for (const char *ext : kStoreExtensions) {
            std::ifstream in(dir + "/" + base + ext, std::ios::binary);
            if (!in) continue;
            std::stringstream bytes;
            bytes << in.rdbuf();
            files[ext] = bytes.str();
        }
        return files;
    }
    // The names in the directory, besides the library.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
        names.erase("libvbis4032.so");
        return names;
    }
    std::set<std::string> NamesOf(std::initializer_list<const char *> bases) const {
        std::set<std::string> names;
        for (const char *base : bases) {
            for (const char *ext : kStoreExtensions) names.insert(std::string(base) + ext);
        }
        return names;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto &m : fake.ui.messages) texts.push_back(m.text);
        return texts;
    }

    // Every record of a store: key -> name, flag5, flag6.
    std::map<std::string, std::tuple<std::string, int, int>> Records(const char *base) const {
        std::map<std::string, std::tuple<std::string, int, int>> records;
        const std::string path = dir + "/" + base;
        const char *store = path.c_str();
        int16_t zero = 0, read = VMX_ACCESS_READ;
        int32_t handle = 0;
        if (VmxOpen(&store, &zero, &read, &handle) != VMX_OK) return records;
        unsigned char block[CompanyRecordBlockSize];
        const char *key;
        for (int16_t r = VmxFirst(&handle, &key, block); r == VMX_OK;
             r = VmxNext(&handle, &key, block)) {
            const char *name;
            int16_t flag5, flag6;
            std::memcpy(&name, block, sizeof name);
            std::memcpy(&flag5, block + 4 * sizeof(char *), 2);
            std::memcpy(&flag6, block + 4 * sizeof(char *) + 2, 2);
            records[key] = {name, flag5, flag6};
        }
        VmxClose(&handle);
        return records;
    }
    int16_t Verify(const char *base) const {
        const std::string path = dir + "/" + base;
        const char *store = path.c_str();
        int32_t records = 0;
        return VmxVerify(&store, &records, nullptr, nullptr);
    }

    const char *codes[4] = {"AD", "YY", "yy", "A1"};
    std::unique_ptr<posix::TempDir> temp;  // a fresh one for each SetUp
    std::string dir;
    FoundCompanies found;
    FakePlatform fake;
    FlakyFileSystem files;
    Platform platform{fake.ui, files, fake.file_list};
};

TEST_F(RegistryInstallationTest, TheRebuiltRegistryTakesThePlaceOfTheOldOne) {
    MakeRegistry();
    ASSERT_TRUE(Run());
    EXPECT_EQ(
        fake.ui.messages,
        (std::vector<ShownMessage>{{kDoneMessage, MessageStyle::kInformation, std::string()}}));
    EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));
    EXPECT_TRUE(StoreFiles("velko") == StoreFiles("temp"));
    EXPECT_EQ(Verify("velko"), VMX_OK);

    auto records = Records("velko");
    EXPECT_EQ(records.size(), 379u + 2u);  // "yy" and "A1" are not in the table
    using R = std::tuple<std::string, int, int>;
    EXPECT_EQ(records["YY"], R("Azienda di prova", 1, 1));
    EXPECT_EQ(records["yy"], R("yy", 1, 1));
    EXPECT_EQ(records["AD"], R("AD", 1, 1));
    EXPECT_EQ(records["A1"], R("A1", 1, 1));
    EXPECT_EQ(records["BB"], R("", 0, 0));
    EXPECT_EQ(records["ZZ"], R("", 0, 0));
    EXPECT_EQ(records.count("OA"), 0u);  // the old registry is gone
}

TEST_F(RegistryInstallationTest, WithNoRegistryBeforeOneIsMade) {
    ASSERT_TRUE(Run());
    EXPECT_EQ(Texts(), (std::vector<std::string>{kDoneMessage}));
    EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));
    EXPECT_TRUE(StoreFiles("velko") == StoreFiles("temp"));
}

TEST_F(RegistryInstallationTest, FailedCopiesLeaveTheOldRegistryAsItWas) {
    struct Row {
        std::set<int> failing;
        size_t copy_errors;
    } rows[] = {{{1}, 1}, {{2}, 1}, {{3}, 1}, {{4}, 1}, {{2, 3}, 2}, {{1, 2, 3, 4}, 4}};
    for (const auto &row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.failing));
        SetUp();
        MakeRegistry();
        const Files before = StoreFiles("velko");
        fake.ui.messages.clear();
        files.copies = 0;
        files.failing = row.failing;
        ASSERT_TRUE(Run());
        std::vector<std::string> expected(row.copy_errors, kCopyErrorMessage);
        expected.push_back(kNotModifiedMessage);
        EXPECT_EQ(Texts(), expected);
        EXPECT_EQ(files.copies, 4);  // the remaining copies still ran
        EXPECT_TRUE(StoreFiles("velko") == before);
        EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));
    }
}

TEST_F(RegistryInstallationTest, AFailedMoveLeavesTheOldRegistryAsItWas) {
    // The first move takes the old registry aside, the second brings the new
    // one in (and the old one is moved back).
    for (int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        SetUp();
        MakeRegistry();
        const Files before = StoreFiles("velko");
        fake.ui.messages.clear();
        ASSERT_TRUE(Run([failing] { return std::make_unique<RenameFailingLibrary>(failing); }));
        EXPECT_EQ(Texts(), (std::vector<std::string>{kCopyErrorMessage, kNotModifiedMessage}));
        EXPECT_TRUE(StoreFiles("velko") == before);
        EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));
    }
}

TEST_F(RegistryInstallationTest, ARegistryInUseIsNotReplaced) {
    MakeRegistry();
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const std::string path = dir + "/velko";
    pid_t child = fork();
    if (child == 0) {  // another program of the suite, writing the registry
        const char *store = path.c_str();
        int16_t zero = 0, three = 3;
        int32_t handle = 0;
        char c = VmxOpen(&store, &zero, &three, &handle) == VMX_OK ? 1 : 0;
        if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1) _exit(2);
        _exit(VmxClose(&handle) == VMX_OK ? 0 : 1);
    }
    char opened = 0;
    ASSERT_EQ(read(ready[0], &opened, 1), 1);
    ASSERT_EQ(opened, 1);
    const Files before = StoreFiles("velko");

    ASSERT_TRUE(Run());
    EXPECT_EQ(fake.ui.messages,
              (std::vector<ShownMessage>{{kInUseMessage, MessageStyle::kWarning, std::nullopt}}));
    EXPECT_TRUE(StoreFiles("velko") == before);
    EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));

    char c = 1;
    ASSERT_EQ(write(go[1], &c, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Records("velko").count("OA"), 1u);
}

TEST_F(RegistryInstallationTest, WhatAnInterruptedInstallationLeftIsSortedOut) {
    struct Row {
        const char *what;
        std::function<void(RegistryInstallationTest &)> leave;
    } rows[] = {
        {"the old registry moved aside, no registry",
         [](RegistryInstallationTest &t) { t.MakeRegistry("velko.old"); }},
        {"the old registry moved aside, the new one in place",
         [](RegistryInstallationTest &t) {
             t.MakeRegistry("velko");
             t.MakeRegistry("velko.old");
         }},
        {"the old registry moved aside halfway",
         [](RegistryInstallationTest &t) {
             t.MakeRegistry("velko");
             fs::rename(t.dir + "/velko.isd", t.dir + "/velko.old.isd");
             fs::rename(t.dir + "/velko.isl", t.dir + "/velko.old.isl");
         }},
        {"the new registry moved in halfway",
         [](RegistryInstallationTest &t) {
             t.MakeRegistry("velko.old");
             t.MakeRegistry("velko.new");
             fs::rename(t.dir + "/velko.new.isd", t.dir + "/velko.isd");
             fs::rename(t.dir + "/velko.new.isl", t.dir + "/velko.isl");
         }},
        {"a staged store, half copied",
         [](RegistryInstallationTest &t) {
             t.MakeRegistry("velko");
             t.MakeRegistry("velko.new");
             fs::remove(t.dir + "/velko.new.ism");
         }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        row.leave(*this);
        fake.ui.messages.clear();
        ASSERT_TRUE(Run());
        EXPECT_EQ(Texts(), (std::vector<std::string>{kDoneMessage}));
        EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));
        EXPECT_TRUE(StoreFiles("velko") == StoreFiles("temp"));
    }
}

TEST_F(RegistryInstallationTest, AnOldRegistryMovedAsideComesBackWhenTheInstallationFails) {
    // The old registry as an interrupted installation left it, wholly or
    // halfway moved aside: a failing copy now still leaves it whole, as velko.
    for (int moved : {4, 2}) {
        SCOPED_TRACE(std::to_string(moved) + " files moved aside");
        SetUp();
        MakeRegistry();
        const Files before = StoreFiles("velko");
        for (int i = 0; i < moved; ++i) {
            fs::rename(dir + "/velko" + kStoreExtensions[i],
                       dir + "/velko.old" + kStoreExtensions[i]);
        }
        fake.ui.messages.clear();
        files.copies = 0;
        files.failing = {3};
        ASSERT_TRUE(Run());
        EXPECT_EQ(Texts(), (std::vector<std::string>{kCopyErrorMessage, kNotModifiedMessage}));
        EXPECT_EQ(Names(), NamesOf({"temp", "velko"}));
        EXPECT_TRUE(StoreFiles("velko") == before);
    }
}

TEST_F(RegistryInstallationTest, WithoutTheLibraryNothingIsTouched) {
    MakeRegistry();
    const Files before = StoreFiles("velko");
    fs::remove(dir + "/libvbis4032.so");
    EXPECT_THROW(Run(), PlatformError);
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_EQ(Names(), NamesOf({"velko"}));
    EXPECT_TRUE(StoreFiles("velko") == before);
}

}  // namespace
}  // namespace rebuild
