// Failing disks: the Nth file-system call of a create-put-close, a later
// session, a rename or a kill fails with EIO or ENOSPC, for every N until the
// work gets through. Each time the call reports the failure and the store
// afterwards holds one of its complete committed states, and verifies.
#include <gtest/gtest.h>

#include <map>

#include "fault_env.h"
#include "store.h"
#include "test_util.h"

namespace vbis::test {
namespace {

using Records = std::map<std::string, Record>;

Records Numbered(int from, int count) {
    Records r;
    for (int i = from; i < from + count; ++i)
        r["k" + std::to_string(i)] = {"name" + std::to_string(i)};
    return r;
}

// A session of puts and its close through `env`; the first failure.
Status Session(Env *env, const std::string &base, const Records &records, size_t cache_pages) {
    std::unique_ptr<Store> store;
    VBIS_RETURN_IF_ERROR(Store::Open(env, base, true, true, &store, cache_pages));
    Status first;
    for (const auto &[key, rec] : records) {
        auto block = rec.Block();
        Status s = store->Put(key, block.data(), VMX_PUT_UPSERT);
        if (!s.ok() && first.ok()) first = s;
    }
    Status closed = store->Close();
    return first.ok() ? closed : first;
}

// The store's records read back with the real file system, after a recovery
// open where the last session did not close.
Records Reopen(const std::string &base, int16_t *result) {
    Records all = ReadAll(base, result, VMX_OPEN_RECOVER);
    if (*result == VMX_OK) {
        uint64_t n;
        std::unique_ptr<Store> s;
        // Recover (commit the state anew) so that the strict check applies.
        Status st = Store::Open(Env::Default(), base, true, true, &s);
        if (st.ok()) st = s->Close();
        if (st.ok()) st = Store::Verify(Env::Default(), base, &n);
        *result = static_cast<int16_t>(st.code());
    }
    return all;
}

class Faults : public ::testing::TestWithParam<Fault> {};

TEST_P(Faults, CreatePutClose) {
    const Records records = Numbered(0, 300);
    for (long n = 1;; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n));
        TempDir dir;
        const std::string base = dir / "s";
        FaultEnv env(n, GetParam());
        Status s = Store::Create(&env, base, kRegistryLayout, {});
        bool created = s.ok();
        if (created) s = Session(&env, base, records, 4);
        if (!env.fired()) {
            ASSERT_TRUE(s.ok()) << s.ToString();
            break;
        }
        EXPECT_FALSE(s.ok()) << "a failure was injected but every call succeeded";
        if (!created) {
            // A failed creation leaves no file behind.
            for (const char *ext : {".isd", ".isl", ".isf", ".ism"})
                EXPECT_FALSE(Exists(base + ext)) << ext;
            continue;
        }
        int16_t r;
        Records after = Reopen(base, &r);
        ASSERT_EQ(r, VMX_OK);
        EXPECT_TRUE(after.empty() || after == records) << after.size() << " records";
    }
}

TEST_P(Faults, ALaterSession) {
    const Records first = Numbered(0, 400), second = Numbered(200, 400);
    Records both = first;
    for (const auto &[k, v] : second) both[k] = v;
    for (long n = 1;; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n));
        TempDir dir;
        const std::string base = dir / "s";
        MakeStore(base, first, 1024);
        FaultEnv env(n, GetParam());
        Status s = Session(&env, base, second, 4);
        if (!env.fired()) {
            ASSERT_TRUE(s.ok()) << s.ToString();
            break;
        }
        EXPECT_FALSE(s.ok());
        int16_t r;
        Records after = Reopen(base, &r);
        ASSERT_EQ(r, VMX_OK);
        EXPECT_TRUE(after == first || after == both) << after.size() << " records";
    }
}

TEST_P(Faults, RenameAndKill) {
    const Records records = Numbered(0, 50);
    for (long n = 1;; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n));
        TempDir dir;
        MakeStore(dir / "a", records);
        FaultEnv env(n, GetParam());
        Status s = Store::Rename(&env, dir / "a", dir / "b");
        if (!env.fired()) {
            ASSERT_TRUE(s.ok());
            break;
        }
        EXPECT_FALSE(s.ok());
        // Either name holds the whole store, never a mix of the two.
        int16_t ra, rb;
        Records a = ReadAll(dir / "a", &ra), b = ReadAll(dir / "b", &rb);
        EXPECT_TRUE((ra == VMX_OK && a == records && rb == VMX_NOT_FOUND) ||
                    (rb == VMX_OK && b == records && ra == VMX_NOT_FOUND))
            << ra << " " << rb;
    }
    for (long n = 1;; ++n) {
        SCOPED_TRACE("kill, failing call " + std::to_string(n));
        TempDir dir;
        MakeStore(dir / "a", records);
        FaultEnv env(n, GetParam());
        Status s = Store::Kill(&env, dir / "a");
        if (!env.fired()) {
            ASSERT_TRUE(s.ok());
            break;
        }
        EXPECT_FALSE(s.ok());
        // What is left can always be killed for good.
        const std::string base = dir / "a";
        const char *name = base.c_str();
        int16_t r = VmxKill(&name);
        EXPECT_TRUE(r == VMX_OK || r == VMX_NOT_FOUND) << r;
    }
}

INSTANTIATE_TEST_SUITE_P(IoAndNoSpace, Faults, ::testing::Values(Fault::kIo, Fault::kNoSpace),
                         [](const auto &info) {
                             return info.param == Fault::kIo ? "EIO" : "ENOSPC";
                         });

}  // namespace
}  // namespace vbis::test
