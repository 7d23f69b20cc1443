// Module1 over a fake StoreLibrary whose operations are functions of this
// file: what each store call hands the library, what it copies back, what it
// records, and how the library is bound (loaded once, each operation looked
// up once, nothing called when either fails).
#include "rebuild/module1.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rebuild/platform_error.h"

namespace rebuild {
namespace {

// What the operations do in the current test; reset by the fixture. The
// library reaches them through plain functions, which cannot capture.
struct Operations {
    std::function<int16_t(const char *const *)> kill;
    std::function<int16_t(const char *const *, const int16_t *, const int32_t *, const int16_t *,
                          const int16_t *, const char *const *)>
        create;
    std::function<int16_t(const char *const *, const int16_t *, const int16_t *, int32_t *)> open;
    std::function<int16_t(const int32_t *, const char *const *, const void *, const int16_t *)> put;
    std::function<int16_t(const int32_t *)> close;
    int calls = 0;
};
Operations operations;

int16_t Kill(const char *const *store) {
    ++operations.calls;
    return operations.kill ? operations.kill(store) : 0;
}
int16_t Create(const char *const *store, const int16_t *key_kind, const int32_t *page_size,
               const int16_t *reserved1, const int16_t *reserved2, const char *const *layout) {
    ++operations.calls;
    return operations.create
               ? operations.create(store, key_kind, page_size, reserved1, reserved2, layout)
               : 0;
}
int16_t Open(const char *const *store, const int16_t *flags, const int16_t *access,
             int32_t *handle) {
    ++operations.calls;
    return operations.open ? operations.open(store, flags, access, handle) : 0;
}
int16_t Put(const int32_t *handle, const char *const *key, const void *record,
            const int16_t *mode) {
    ++operations.calls;
    return operations.put ? operations.put(handle, key, record, mode) : 0;
}
int16_t Close(const int32_t *handle) {
    ++operations.calls;
    return operations.close ? operations.close(handle) : 0;
}

// What Module1 asked of its library.
struct Binding {
    std::vector<std::string> loads;
    std::vector<std::string> lookups;
    bool load_fails = false;
    std::set<std::string> missing;
};

class FakeStoreLibrary : public StoreLibrary {
  public:
    explicit FakeStoreLibrary(Binding &binding) : binding_(binding) {}

    void Load(const std::string &path) override {
        binding_.loads.push_back(path);
        if (binding_.load_fails) throw PlatformError("cannot load " + path + ": no such file");
    }

    StoreOperation Lookup(const std::string &name) override {
        binding_.lookups.push_back(name);
        static const std::map<std::string, StoreOperation> exported = {
            {"VmxKill", reinterpret_cast<StoreOperation>(&Kill)},
            {"VmxCreate", reinterpret_cast<StoreOperation>(&Create)},
            {"VmxOpen", reinterpret_cast<StoreOperation>(&Open)},
            {"VmxPut", reinterpret_cast<StoreOperation>(&Put)},
            {"VmxClose", reinterpret_cast<StoreOperation>(&Close)},
        };
        const auto found = exported.find(name);
        if (found == exported.end() || binding_.missing.count(name) != 0) {
            throw PlatformError("no operation " + name);
        }
        return found->second;
    }

  private:
    Binding &binding_;
};

// The text a library-side reference points to.
std::string At(const char *const *reference) {
    return *reference;
}

// A text pointer stored in a record block at `offset`.
std::string TextIn(const void *block, std::size_t offset) {
    const char *pointer;
    std::memcpy(&pointer, static_cast<const unsigned char *>(block) + offset, sizeof pointer);
    return pointer;
}

int16_t FlagIn(const void *block, std::size_t offset) {
    int16_t value;
    std::memcpy(&value, static_cast<const unsigned char *>(block) + offset, sizeof value);
    return value;
}

class Module1Test : public ::testing::Test {
  protected:
    void SetUp() override { operations = Operations(); }
    void TearDown() override { operations = Operations(); }

    Binding binding;
    Module1 module{"/opt/suite", std::make_unique<FakeStoreLibrary>(binding)};
    std::string store = "/opt/suite/temp";
    int32_t handle = 0;
};

TEST_F(Module1Test, StartsWithAnEmptyRecordAndNoResultAndNothingLoaded) {
    EXPECT_EQ(module.CompanyRecord.Name, "");
    EXPECT_EQ(module.CompanyRecord.Text2, "");
    EXPECT_EQ(module.CompanyRecord.Text3, "");
    EXPECT_EQ(module.CompanyRecord.Text4, "");
    EXPECT_EQ(module.CompanyRecord.Flag5, 0);
    EXPECT_EQ(module.CompanyRecord.Flag6, 0);
    EXPECT_EQ(module.CompanyRecord.Text7, "");
    EXPECT_FALSE(module.LastStoreResult.has_value());
    EXPECT_TRUE(binding.loads.empty());
    EXPECT_TRUE(binding.lookups.empty());
}

TEST_F(Module1Test, LoadsTheLibraryOnceAndLooksUpEachOperationOnItsFirstCall) {
    std::string key = "AD";
    for (int round = 0; round < 2; ++round) {
        module.VmxKill(store);
        module.VmxCreate(store, 2, 0, 0, 0, CompanyRecordLayout);
        module.VmxOpen(store, 0, 3, handle);
        module.VmxPut(handle, "YY", module.CompanyRecord, 0);
        module.VmxPut(handle, key, module.CompanyRecord, 0);
        module.VmxClose(handle);
    }
    EXPECT_EQ(operations.calls, 12);
    EXPECT_EQ(binding.loads, std::vector<std::string>{"/opt/suite/libvbis4032.so"});
    EXPECT_EQ(binding.lookups,
              (std::vector<std::string>{"VmxKill", "VmxCreate", "VmxOpen", "VmxPut", "VmxClose"}));
}

// One call of each operation, for the tables of failures below.
struct Call {
    const char *operation;
    std::function<void(Module1 &, std::string &store, int32_t &handle)> make;
};
const std::vector<Call> kEveryOperation = {
    {"VmxKill", [](Module1 &m, std::string &s, int32_t &) { m.VmxKill(s); }},
    {"VmxCreate", [](Module1 &m, std::string &s,
                     int32_t &) { m.VmxCreate(s, 2, 0, 0, 0, CompanyRecordLayout); }},
    {"VmxOpen", [](Module1 &m, std::string &s, int32_t &h) { m.VmxOpen(s, 0, 3, h); }},
    {"VmxPut",
     [](Module1 &m, std::string &, int32_t &h) { m.VmxPut(h, "YY", m.CompanyRecord, 0); }},
    {"VmxClose", [](Module1 &m, std::string &, int32_t &h) { m.VmxClose(h); }},
};

TEST_F(Module1Test, ALibraryThatCannotBeLoadedStopsEveryOperationBeforeTheCall) {
    for (const Call &call : kEveryOperation) {
        SCOPED_TRACE(call.operation);
        Binding failing;
        failing.load_fails = true;
        Module1 m("/opt/suite", std::make_unique<FakeStoreLibrary>(failing));
        m.CompanyRecord.Name = "AD";
        try {
            call.make(m, store, handle);
            ADD_FAILURE() << "no PlatformError";
        } catch (const PlatformError &error) {
            EXPECT_NE(std::string(error.what()).find("/opt/suite/libvbis4032.so"),
                      std::string::npos)
                << error.what();
        }
        EXPECT_EQ(operations.calls, 0);
        EXPECT_TRUE(failing.lookups.empty());
        EXPECT_FALSE(m.LastStoreResult.has_value());
        EXPECT_EQ(m.CompanyRecord.Name, "AD");
    }
}

TEST_F(Module1Test, AMissingOperationStopsOnlyThatOperationBeforeTheCall) {
    for (const Call &missing : kEveryOperation) {
        SCOPED_TRACE(missing.operation);
        operations = Operations();
        operations.kill = [](const char *const *) -> int16_t { return 3; };
        Binding lacking;
        lacking.missing = {missing.operation};
        Module1 m("/opt/suite", std::make_unique<FakeStoreLibrary>(lacking));
        if (missing.operation != std::string("VmxKill")) m.VmxKill(store);
        const std::optional<int16_t> before = m.LastStoreResult;
        const int calls_before = operations.calls;
        try {
            missing.make(m, store, handle);
            ADD_FAILURE() << "no PlatformError";
        } catch (const PlatformError &error) {
            EXPECT_NE(std::string(error.what()).find(missing.operation), std::string::npos)
                << error.what();
        }
        EXPECT_EQ(operations.calls, calls_before);
        EXPECT_EQ(m.LastStoreResult, before);
        EXPECT_EQ(lacking.loads.size(), 1u);
    }
}

TEST_F(Module1Test, PassesConstantsInFreshTemporariesOnEveryCall) {
    // The library overwrites every number it is given; the next call must
    // not notice.
    std::vector<std::vector<int>> seen;
    operations.create = [&](const char *const *, const int16_t *key_kind, const int32_t *page_size,
                            const int16_t *reserved1, const int16_t *reserved2,
                            const char *const *) -> int16_t {
        seen.push_back({*key_kind, *page_size, *reserved1, *reserved2});
        for (const int16_t *p : {key_kind, reserved1, reserved2}) *const_cast<int16_t *>(p) = -1;
        *const_cast<int32_t *>(page_size) = -1;
        return 0;
    };
    operations.open = [&](const char *const *, const int16_t *flags, const int16_t *access,
                          int32_t *) -> int16_t {
        seen.push_back({*flags, *access});
        *const_cast<int16_t *>(flags) = -1;
        *const_cast<int16_t *>(access) = -1;
        return 0;
    };
    operations.put = [&](const int32_t *, const char *const *, const void *,
                         const int16_t *mode) -> int16_t {
        seen.push_back({*mode});
        *const_cast<int16_t *>(mode) = -1;
        return 0;
    };
    std::string key = "AD";
    for (int round = 0; round < 2; ++round) {
        module.VmxCreate(store, 2, 0, 0, 0, CompanyRecordLayout);
        module.VmxOpen(store, 0, 3, handle);
        module.VmxPut(handle, "YY", module.CompanyRecord, 0);
        module.VmxPut(handle, key, module.CompanyRecord, 0);
    }
    const std::vector<std::vector<int>> once = {{2, 0, 0, 0}, {0, 3}, {0}, {0}};
    std::vector<std::vector<int>> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(seen, twice);
}

TEST_F(Module1Test, PassesTextsAsSeparateTerminatedEightBitCopies) {
    store = "/dati/società/temp";
    std::string layout(CompanyRecordLayout);
    std::string key = "yy";
    std::vector<std::string> texts;
    operations.kill = [&](const char *const *s) -> int16_t {
        EXPECT_NE(*s, store.data());
        texts.push_back(At(s));
        return 0;
    };
    operations.create = [&](const char *const *s, const int16_t *, const int32_t *, const int16_t *,
                            const int16_t *, const char *const *l) -> int16_t {
        EXPECT_NE(*l, layout.data());
        texts.push_back(At(s));
        texts.push_back(At(l));
        return 0;
    };
    operations.open = [&](const char *const *s, const int16_t *, const int16_t *,
                          int32_t *) -> int16_t {
        texts.push_back(At(s));
        return 0;
    };
    operations.put = [&](const int32_t *, const char *const *k, const void *,
                         const int16_t *) -> int16_t {
        EXPECT_NE(*k, key.data());
        texts.push_back(At(k));
        return 0;
    };
    module.VmxKill(store);
    module.VmxCreate(store, 2, 0, 0, 0, layout);
    module.VmxOpen(store, 0, 3, handle);
    module.VmxPut(handle, std::string_view(key).substr(0, 1), module.CompanyRecord, 0);
    module.VmxPut(handle, key, module.CompanyRecord, 0);
    // The one-letter view of "yy" is not terminated where it ends: its copy is.
    EXPECT_EQ(texts,
              (std::vector<std::string>{store, store, "x40$,$,$,$,%,%,$", store, "y", "yy"}));
}

TEST_F(Module1Test, CopiesBackVariableTextsButNotConstants) {
    // The library changes the first byte of every text copy it receives.
    auto mark = [](const char *const *text) { const_cast<char *>(*text)[0] = '#'; };
    operations.kill = [&](const char *const *s) -> int16_t {
        mark(s);
        return 0;
    };
    operations.create = [&](const char *const *s, const int16_t *, const int32_t *, const int16_t *,
                            const int16_t *, const char *const *l) -> int16_t {
        mark(s);
        mark(l);
        return 0;
    };
    operations.open = [&](const char *const *s, const int16_t *, const int16_t *,
                          int32_t *) -> int16_t {
        mark(s);
        return 0;
    };
    operations.put = [&](const int32_t *, const char *const *k, const void *,
                         const int16_t *) -> int16_t {
        mark(k);
        return 0;
    };
    struct Row {
        const char *call;
        std::function<void(std::string &)> make;
        const char *after;  // the text given was "text"
    };
    const std::vector<Row> rows = {
        {"VmxKill store", [&](std::string &s) { module.VmxKill(s); }, "#ext"},
        {"VmxCreate store",
         [&](std::string &s) { module.VmxCreate(s, 2, 0, 0, 0, CompanyRecordLayout); }, "#ext"},
        {"VmxCreate layout",
         [&](std::string &s) {
             std::string other = "other";
             module.VmxCreate(other, 2, 0, 0, 0, s);
         },
         "text"},
        {"VmxOpen store", [&](std::string &s) { module.VmxOpen(s, 0, 3, handle); }, "#ext"},
        {"VmxPut variable key",
         [&](std::string &s) { module.VmxPut(handle, s, module.CompanyRecord, 0); }, "#ext"},
        {"VmxPut constant key",
         [&](std::string &s) {
             module.VmxPut(handle, std::string_view(s), module.CompanyRecord, 0);
         },
         "text"},
    };
    for (const Row &row : rows) {
        std::string text = "text";
        row.make(text);
        EXPECT_EQ(text, row.after) << row.call;
    }
}

TEST_F(Module1Test, HandsTheRecordOverAsAPackedBlockInFieldOrder) {
    const std::size_t text = sizeof(const char *);
    if constexpr (sizeof(const char *) == 8) {
        EXPECT_EQ(CompanyRecordBlockSize, 44u);
    }
    module.CompanyRecord = {"Name", "Text2", "Text3", "Text4", 5, -6, "Text7"};
    bool called = false;
    operations.put = [&](const int32_t *, const char *const *, const void *block,
                         const int16_t *) -> int16_t {
        called = true;
        EXPECT_EQ(TextIn(block, 0), "Name");
        EXPECT_EQ(TextIn(block, text), "Text2");
        EXPECT_EQ(TextIn(block, 2 * text), "Text3");
        EXPECT_EQ(TextIn(block, 3 * text), "Text4");
        EXPECT_EQ(FlagIn(block, 4 * text), 5);
        EXPECT_EQ(FlagIn(block, 4 * text + 2), -6);
        EXPECT_EQ(TextIn(block, 4 * text + 4), "Text7");
        const char *name;
        std::memcpy(&name, block, sizeof name);
        EXPECT_NE(name, module.CompanyRecord.Name.data()) << "the library must get a copy";
        return 0;
    };
    module.VmxPut(handle, "YY", module.CompanyRecord, 0);
    EXPECT_TRUE(called);
}

TEST_F(Module1Test, CopiesTheRecordBackFromTheBlockAfterEveryPut) {
    // The library leaves other texts and flags in the block than it was given.
    static const char kChanged[] = "changed";
    operations.put = [&](const int32_t *, const char *const *, const void *block,
                         const int16_t *) -> int16_t {
        auto *bytes = static_cast<unsigned char *>(const_cast<void *>(block));
        const char *changed = kChanged;
        std::memcpy(bytes, &changed, sizeof changed);
        const int16_t nine = 9;
        std::memcpy(bytes + 4 * sizeof(const char *) + 2, &nine, sizeof nine);
        return 0;
    };
    std::string key = "AD";
    for (bool variable : {false, true}) {
        SCOPED_TRACE(variable ? "variable key" : "constant key");
        module.CompanyRecord = {"AD", "", "", "", 1, 1, ""};
        if (variable) {
            module.VmxPut(handle, key, module.CompanyRecord, 0);
        } else {
            module.VmxPut(handle, "AD", module.CompanyRecord, 0);
        }
        const CompanyRecord &r = module.CompanyRecord;
        EXPECT_EQ(r.Name, "changed");
        EXPECT_EQ(r.Flag5, 1);
        EXPECT_EQ(r.Flag6, 9);
        EXPECT_EQ(r.Text2 + r.Text3 + r.Text4 + r.Text7, "");
    }
}

TEST_F(Module1Test, PassesTheHandleAsTheVariableItself) {
    std::vector<const int32_t *> seen;
    operations.open = [&](const char *const *, const int16_t *, const int16_t *,
                          int32_t *h) -> int16_t {
        seen.push_back(h);
        *h = 77;
        return 0;
    };
    operations.put = [&](const int32_t *h, const char *const *, const void *,
                         const int16_t *) -> int16_t {
        seen.push_back(h);
        EXPECT_EQ(*h, 77);
        return 0;
    };
    operations.close = [&](const int32_t *h) -> int16_t {
        seen.push_back(h);
        return 0;
    };
    module.VmxOpen(store, 0, 3, handle);
    module.VmxPut(handle, "YY", module.CompanyRecord, 0);
    module.VmxClose(handle);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(seen, (std::vector<const int32_t *>{&handle, &handle, &handle}));
}

TEST_F(Module1Test, LastStoreResultHoldsOnlyTheLatestResult) {
    std::vector<int16_t> results = {1, -1, 0, 7, 0, 5};
    std::size_t next = 0;
    auto result = [&] { return results.at(next++); };
    operations.kill = [&](const char *const *) { return result(); };
    operations.create = [&](const char *const *, const int16_t *, const int32_t *, const int16_t *,
                            const int16_t *, const char *const *) { return result(); };
    operations.open = [&](const char *const *, const int16_t *, const int16_t *, int32_t *) {
        return result();
    };
    operations.put = [&](const int32_t *, const char *const *, const void *, const int16_t *) {
        return result();
    };
    operations.close = [&](const int32_t *) { return result(); };
    std::string key = "AD";
    const std::vector<std::pair<const char *, std::function<int16_t()>>> calls = {
        {"VmxKill", [&] { return module.VmxKill(store); }},
        {"VmxCreate", [&] { return module.VmxCreate(store, 2, 0, 0, 0, CompanyRecordLayout); }},
        {"VmxOpen", [&] { return module.VmxOpen(store, 0, 3, handle); }},
        {"VmxPut (fails)", [&] { return module.VmxPut(handle, "YY", module.CompanyRecord, 0); }},
        {"VmxPut (succeeds)", [&] { return module.VmxPut(handle, key, module.CompanyRecord, 0); }},
        {"VmxClose", [&] { return module.VmxClose(handle); }},
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second(), results[i]) << calls[i].first;
        EXPECT_EQ(module.LastStoreResult, std::optional<int16_t>(results[i])) << calls[i].first;
    }
}

TEST(StorePathTest, JoinsWithOneSlashWhateverTheDirectoryEndsWith) {
    struct Row {
        const char *program_dir;
        const char *base_name;
        const char *path;
    };
    for (const Row &row :
         {Row{"/srv/suite", "temp", "/srv/suite/temp"},
          Row{"/srv/suite", "velko", "/srv/suite/velko"}, Row{"/", "temp", "//temp"},
          Row{"/srv/suite/", "temp", "/srv/suite//temp"},
          Row{"/srv/dati con spazi", "temp", "/srv/dati con spazi/temp"}}) {
        EXPECT_EQ(StorePath(row.program_dir, row.base_name), row.path)
            << row.program_dir << " + " << row.base_name;
    }
}

}  // namespace
}  // namespace rebuild
