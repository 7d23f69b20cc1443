// Damaged, truncated, extended and mixed files: every case gives its
// documented result and nothing crashes, whichever way the store is read.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>

#include "crc32c.h"
#include "format.h"
#include "test_util.h"

namespace vbis::test {
namespace {

constexpr uint32_t kPage = 1024;

class Damage : public ::testing::Test {
  public:
    // Builds the store anew, in a directory of its own.
    void Build() {
        dir_ = std::make_unique<TempDir>();
        base_ = *dir_ / "s";
        other_ = *dir_ / "other";
        // Two sessions at the smallest page size: a tree of three levels, and
        // a free list from the second session's copies. The second session
        // puts the greatest key, so only the rightmost path is copied and
        // page 1 of .isd and .isl stays in use.
        std::map<std::string, Record> records;
        for (int i = 0; i < 3000; ++i)
            records["key" + std::to_string(100000 + i)] = {std::to_string(i)};
        MakeStore(base_, records, kPage);
        int32_t h = 0;
        ASSERT_EQ(OpenStore(base_, VMX_ACCESS_READWRITE, &h), VMX_OK);
        ASSERT_EQ(Put(h, "zzz", {"last"}), VMX_OK);
        ASSERT_EQ(VmxClose(&h), VMX_OK);
        ASSERT_EQ(Verify(base_), VMX_OK);
        ASSERT_GT(std::filesystem::file_size(base_ + ".isl"), 2 * kPage);
        ASSERT_GT(std::filesystem::file_size(base_ + ".isf"), kPage);
        MakeStore(other_, {{"AD", {"AD"}}}, kPage);
    }

    void Flip(const std::string &ext, size_t offset) {
        std::string bytes = ReadFile(base_ + ext);
        ASSERT_LT(offset, bytes.size());
        bytes[offset] ^= 0x5A;
        WriteFile(base_ + ext, bytes);
    }

    std::unique_ptr<TempDir> dir_;
    std::string base_, other_;
};

// Opening, verifying and reading every record: the result of the first that
// fails (VMX_OK if none does).
struct Outcome {
    int16_t open, verify, read;
};

Outcome Examine(const std::string &base) {
    Outcome o{};
    int32_t h = 0;
    o.open = OpenStore(base, VMX_ACCESS_READ, &h);
    if (o.open == VMX_OK) VmxClose(&h);
    o.verify = Verify(base);
    ReadAll(base, &o.read);
    return o;
}

TEST_F(Damage, EachKindOfDamageGivesItsResult) {
    const size_t in_page = 500;  // inside the entries of a page
    struct Case {
        const char *what;
        std::function<void(Damage &)> damage;
        int16_t open, verify;
    } cases[] = {
        {".isd header", [](Damage &d) { d.Flip(".isd", 30); }, VMX_CORRUPT, VMX_CORRUPT},
        {".isl header", [](Damage &d) { d.Flip(".isl", 30); }, VMX_CORRUPT, VMX_CORRUPT},
        {".isf header", [](Damage &d) { d.Flip(".isf", 30); }, VMX_CORRUPT, VMX_CORRUPT},
        {".ism header", [](Damage &d) { d.Flip(".ism", 30); }, VMX_CORRUPT, VMX_CORRUPT},
        // Slot 1 holds the last commit (generation 5), slot 2 the mark of the
        // session before it (generation 4): losing slot 1 leaves a store whose
        // last session did not close.
        {"commit slot in force", [](Damage &d) { d.Flip(".ism", kPage + in_page); }, VMX_NOT_CLOSED,
         VMX_NOT_CLOSED},
        {"older commit slot", [](Damage &d) { d.Flip(".ism", 2 * kPage + in_page); }, VMX_OK,
         VMX_OK},
        {"data page", [](Damage &d) { d.Flip(".isd", kPage + in_page); }, VMX_OK, VMX_CORRUPT},
        {"data page number", [](Damage &d) { d.Flip(".isd", kPage + 8); }, VMX_OK, VMX_CORRUPT},
        {"index page", [](Damage &d) { d.Flip(".isl", kPage + in_page); }, VMX_OK, VMX_CORRUPT},
        {"free list page", [](Damage &d) { d.Flip(".isf", kPage + 40); }, VMX_CORRUPT, VMX_CORRUPT},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Build();
        c.damage(*this);
        Outcome o = Examine(base_);
        EXPECT_EQ(o.open, c.open);
        EXPECT_EQ(o.verify, c.verify);
        if (c.verify != VMX_OK) {
            EXPECT_NE(o.read, VMX_OK);
        }
    }
}

TEST_F(Damage, TruncatedExtendedAndMixedFiles) {
    for (const char *ext : {".isd", ".isl", ".isf", ".ism"}) {
        struct Case {
            const char *what;
            std::function<void(const std::string &)> damage;
            int16_t result;
        } cases[] = {
            {"emptied", [](const std::string &f) { std::filesystem::resize_file(f, 0); },
             VMX_CORRUPT},
            {"cut to its header",
             [](const std::string &f) { std::filesystem::resize_file(f, kPage); },
             // .ism without its slots has no state; .isd and .isl lose pages in
             // use; a store written in one session has no free list in .isf.
             std::string(ext) == ".isf" ? VMX_OK : VMX_CORRUPT},
            {"cut in the middle of a page",
             [](const std::string &f) {
                 std::filesystem::resize_file(f, std::filesystem::file_size(f) - 10);
             },
             // The meta file's last page is the older slot, not needed.
             std::string(ext) == ".ism" ? VMX_OK : VMX_CORRUPT},
            // Pages past the last commit are what a crash mid-session leaves.
            {"zero-extended",
             [](const std::string &f) {
                 std::filesystem::resize_file(f, std::filesystem::file_size(f) + 3 * kPage);
             },
             VMX_OK},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(ext) + " " + c.what);
            TempDir dir;
            const std::string base = dir / "s";
            std::map<std::string, Record> records;
            for (int i = 0; i < 3000; ++i) records["k" + std::to_string(i)] = {std::to_string(i)};
            MakeStore(base, records, kPage);
            c.damage(base + ext);
            Outcome o = Examine(base);
            EXPECT_EQ(o.verify, c.result);
            if (c.result == VMX_OK) {
                EXPECT_EQ(o.read, VMX_OK);
            } else {
                EXPECT_NE(o.read, VMX_OK);
            }
        }
    }
}

TEST_F(Damage, AFileOfAnotherStoreIsDetected) {
    for (const char *ext : {".isd", ".isl", ".isf", ".ism"}) {
        SCOPED_TRACE(ext);
        Build();
        std::filesystem::copy_file(other_ + ext, base_ + ext,
                                   std::filesystem::copy_options::overwrite_existing);
        std::string message;
        EXPECT_EQ(Verify(base_, nullptr, &message), VMX_CORRUPT);
        EXPECT_NE(message.find(".is"), std::string::npos) << message;  // names a file
        int16_t r;
        ReadAll(base_, &r);
        EXPECT_EQ(r, VMX_CORRUPT);
    }
}

TEST_F(Damage, AnotherFormatVersionIsNamedAsSuch) {
    Build();
    // A header that is sound but says version 2, as a later library writes.
    std::string bytes = ReadFile(base_ + ".ism");
    auto *h = reinterpret_cast<uint8_t *>(bytes.data());
    Store32(h + 16, 2);
    Store32(h, crc32c::Extend(crc32c::Value(h + 28, kStoreIdBytes), h + 4, kHeaderBytes - 4));
    WriteFile(base_ + ".ism", bytes);
    EXPECT_EQ(Verify(base_), VMX_BAD_VERSION);
    int16_t r;
    ReadAll(base_, &r);
    EXPECT_EQ(r, VMX_BAD_VERSION);
}

TEST_F(Damage, AMissingFileIsCorruptionAndKillStillRemovesTheRest) {
    Build();
    std::filesystem::remove(base_ + ".isl");
    EXPECT_EQ(Verify(base_), VMX_CORRUPT);
    const char *name = base_.c_str();
    EXPECT_EQ(VmxKill(&name), VMX_OK);
    EXPECT_FALSE(Exists(base_ + ".isd"));
    EXPECT_FALSE(Exists(base_ + ".ism"));
}

// Random damage of every sort, many times over: whatever the files hold, no
// call crashes, a store that verifies reads exactly as before, and a write
// session on a damaged store either fails or leaves a store that verifies.
TEST_F(Damage, RandomDamageNeverPassesForTheRecords) {
    Build();
    const char *exts[] = {".isd", ".isl", ".isf", ".ism"};
    std::string original[4];
    for (int f = 0; f < 4; ++f) original[f] = ReadFile(base_ + exts[f]);
    int16_t r;
    const auto records = ReadAll(base_, &r);
    ASSERT_EQ(r, VMX_OK);

    std::mt19937 rng(20261211);
    int verified = 0;
    for (int round = 0; round < 200; ++round) {
        for (int f = 0; f < 4; ++f) WriteFile(base_ + exts[f], original[f]);
        const int f = static_cast<int>(rng() % 4);
        std::string bytes = original[f];
        switch (rng() % 3) {
            case 0:  // a few flipped bytes
                for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) {
                    bytes[rng() % bytes.size()] ^= static_cast<char>(1 + rng() % 255);
                }
                break;
            case 1:  // cut anywhere
                bytes.resize(rng() % bytes.size());
                break;
            default: {  // a run of garbage
                size_t at = rng() % bytes.size(),
                       n = std::min<size_t>(bytes.size() - at, 1 + rng() % 64);
                for (size_t i = 0; i < n; ++i) bytes[at + i] = static_cast<char>(rng());
            }
        }
        WriteFile(base_ + exts[f], bytes);
        SCOPED_TRACE("round " + std::to_string(round) + ", " + exts[f]);

        const int16_t v = Verify(base_);
        int16_t read;
        const auto after = ReadAll(base_, &read, VMX_OPEN_RECOVER);
        if (v == VMX_OK) {
            ++verified;
            EXPECT_EQ(read, VMX_OK);
            EXPECT_TRUE(after == records) << "a store that verifies reads differently";
        }
        int32_t h = 0;
        if (OpenStore(base_, VMX_ACCESS_READWRITE, &h, VMX_OPEN_RECOVER) == VMX_OK) {
            for (int i = 0; i < 50; ++i)
                Put(h, "key" + std::to_string(100000 + rng() % 4000), {"new"});
            if (VmxClose(&h) == VMX_OK && v == VMX_OK) {
                EXPECT_EQ(Verify(base_), VMX_OK);
            }
        }
    }
    // Some damage falls where nothing of the state lies (free pages, the
    // older slot), and most where it does.
    EXPECT_GT(verified, 0);
    EXPECT_LT(verified, 100);
}

}  // namespace
}  // namespace vbis::test
