// The store through its C interface: the five operations, the read side,
// arguments, handles, sessions, relocation, locks and unclean ends.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "test_util.h"
#include "vbis4032.h"

namespace vbis::test {
namespace {

const Record kPlaceholder{};
const Record kCompany("AD", 1, 1);

std::vector<std::string> Files(const std::string &base) {
    return {base + ".isd", base + ".isl", base + ".isf", base + ".ism"};
}

TEST(Store, TheFiveOperations) {
    TempDir dir;
    const std::string base = dir / "temp";
    const char *name = base.c_str();
    EXPECT_EQ(VmxKill(&name), VMX_NOT_FOUND);
    ASSERT_EQ(CreateStore(base), VMX_OK);
    for (const auto &f : Files(base)) EXPECT_TRUE(Exists(f)) << f;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / ""), {}), 4);

    int32_t h = 0;
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_OK);
    EXPECT_NE(h, 0);
    EXPECT_EQ(Put(h, "YY", kPlaceholder), VMX_OK);
    EXPECT_EQ(Put(h, "AD", kPlaceholder), VMX_OK);
    EXPECT_EQ(Put(h, "AD", kCompany), VMX_OK);
    EXPECT_EQ(Put(h, "YY", {"Azienda di prova", 1, 1}), VMX_OK);
    EXPECT_EQ(Put(h, "yy", {"yy", 1, 1}), VMX_OK);
    int32_t count = 0, size = 0;
    EXPECT_EQ(VmxCount(&h, &count), VMX_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(VmxRecordSize(&h, &size), VMX_OK);
    EXPECT_EQ(size, static_cast<int32_t>(5 * sizeof(char *) + 4));
    ASSERT_EQ(VmxClose(&h), VMX_OK);

    int16_t r;
    auto all = ReadAll(base, &r);
    ASSERT_EQ(r, VMX_OK);
    std::map<std::string, Record> expected{
        {"AD", kCompany}, {"YY", {"Azienda di prova", 1, 1}}, {"yy", {"yy", 1, 1}}};
    EXPECT_EQ(all, expected);
    EXPECT_EQ(Verify(base), VMX_OK);

    EXPECT_EQ(VmxKill(&name), VMX_OK);
    for (const auto &f : Files(base)) EXPECT_FALSE(Exists(f)) << f;
}

TEST(Store, GetAndIterateInByteOrder) {
    TempDir dir;
    const std::string base = dir / "s";
    // Bytes above 0x7F sort after ASCII: keys compare as unsigned bytes.
    MakeStore(base, {{"b", {"2"}}, {"a", {"1"}}, {"\xE0", {"4"}}, {"B", {"0"}}, {"ab", {"3"}}});
    int32_t h = 0;
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READ, &h), VMX_OK);
    std::vector<unsigned char> block(5 * sizeof(char *) + 4);
    const char *key = "ab";
    ASSERT_EQ(VmxGet(&h, &key, block.data()), VMX_OK);
    EXPECT_EQ(Record::FromBlock(block.data()).name, "3");
    key = "zz";
    EXPECT_EQ(VmxGet(&h, &key, block.data()), VMX_NOT_FOUND);

    std::vector<std::string> order;
    const char *k = nullptr;
    for (int16_t r = VmxFirst(&h, &k, block.data()); r == VMX_OK;
         r = VmxNext(&h, &k, block.data())) {
        order.push_back(k);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"B", "a", "ab", "b", "\xE0"}));
    EXPECT_EQ(VmxNext(&h, &k, block.data()), VMX_NOT_FOUND);
    ASSERT_EQ(VmxClose(&h), VMX_OK);
}

TEST(Store, IterationCarriesOnAfterPutsBetweenItsSteps) {
    TempDir dir;
    const std::string base = dir / "s";
    ASSERT_EQ(CreateStore(base, kRegistryLayout, 1024), VMX_OK);
    int32_t h = 0;
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_OK);
    for (int i = 0; i < 2000; i += 2)
        ASSERT_EQ(Put(h, "k" + std::to_string(10000 + i), {"even"}), VMX_OK);
    // Walk the keys; at each step put the odd key that follows it and one
    // before it: the walk sees the first, never the second.
    std::vector<unsigned char> block(5 * sizeof(char *) + 4);
    const char *k = nullptr;
    std::vector<std::string> seen;
    for (int16_t r = VmxFirst(&h, &k, block.data()); r == VMX_OK;
         r = VmxNext(&h, &k, block.data())) {
        std::string key = k;
        seen.push_back(key);
        int n = std::stoi(key.substr(1));
        if (n % 2 == 0) {
            ASSERT_EQ(Put(h, "k" + std::to_string(n + 1), {"odd"}), VMX_OK);
            ASSERT_EQ(Put(h, "j" + std::to_string(n), {"before"}), VMX_OK);
        }
    }
    ASSERT_EQ(seen.size(), 2000u);
    for (int i = 0; i < 2000; ++i) EXPECT_EQ(seen[i], "k" + std::to_string(10000 + i));
    ASSERT_EQ(VmxClose(&h), VMX_OK);
    EXPECT_EQ(Verify(base), VMX_OK);
}

TEST(Store, ArgumentsAreCheckedAndNothingChanges) {
    TempDir dir;
    const std::string base = dir / "s";
    // Bad creations leave no file behind.
    const char *name = base.c_str();
    int16_t two = 2, zero = 0, one = 1;
    int32_t page = 0, odd_page = 3000;
    const char *layout = kRegistryLayout, *bad_layout = "x40$;$";
    struct Case {
        const char *what;
        const int16_t *kind;
        const int32_t *page;
        const int16_t *r1, *r2;
        const char *const *layout;
    } cases[] = {
        {"bad layout", &two, &page, &zero, &zero, &bad_layout},
        {"key kind 1", &one, &page, &zero, &zero, &layout},
        {"page size 3000", &two, &odd_page, &zero, &zero, &layout},
        {"reserved 1", &two, &page, &one, &zero, &layout},
        {"reserved 2", &two, &page, &zero, &one, &layout},
        {"null layout", &two, &page, &zero, &zero, nullptr},
        {"null number", nullptr, &page, &zero, &zero, &layout},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(VmxCreate(&name, c.kind, c.page, c.r1, c.r2, c.layout), VMX_BAD_ARGUMENT)
            << c.what;
        for (const auto &f : Files(base)) EXPECT_FALSE(Exists(f)) << c.what << " " << f;
    }
    EXPECT_EQ(VmxCreate(nullptr, &two, &page, &zero, &zero, &layout), VMX_BAD_ARGUMENT);

    MakeStore(base, {{"AD", kCompany}});
    std::map<std::string, std::string> before;
    for (const auto &f : Files(base)) before[f] = ReadFile(f);
    EXPECT_EQ(CreateStore(base), VMX_EXISTS);
    // Any one file of the name is enough to refuse.
    WriteFile(dir / "other.isf", "x");
    EXPECT_EQ(CreateStore(dir / "other"), VMX_EXISTS);

    int32_t h = 0;
    int16_t bad_access = 2, bad_flags = 4;
    EXPECT_EQ(VmxOpen(&name, &zero, &bad_access, &h), VMX_BAD_ARGUMENT);
    EXPECT_EQ(VmxOpen(&name, &bad_flags, &two, &h), VMX_BAD_ARGUMENT);
    EXPECT_EQ(OpenStore(dir / "missing", VMX_ACCESS_READWRITE, &h), VMX_NOT_FOUND);
    EXPECT_EQ(h, 0);

    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_OK);
    const std::string long_key(41, 'k');
    const char *null_key = nullptr;
    EXPECT_EQ(Put(h, "", kCompany), VMX_BAD_ARGUMENT);
    EXPECT_EQ(Put(h, long_key, kCompany), VMX_BAD_ARGUMENT);
    EXPECT_EQ(Put(h, std::string(40, 'k'), kCompany), VMX_OK);
    auto block = kCompany.Block();
    int16_t mode = 0, bad_mode = 3;
    EXPECT_EQ(VmxPut(&h, &null_key, block.data(), &mode), VMX_BAD_ARGUMENT);
    const char *key = "AD";
    EXPECT_EQ(VmxPut(&h, &key, block.data(), &bad_mode), VMX_BAD_ARGUMENT);
    EXPECT_EQ(VmxPut(&h, &key, nullptr, &mode), VMX_BAD_ARGUMENT);
    std::fill(block.begin(), block.begin() + sizeof(char *), 0);  // Name: a null text reference
    EXPECT_EQ(VmxPut(&h, &key, block.data(), &mode), VMX_BAD_ARGUMENT);
    Record huge{std::string(2000, 'n')};
    EXPECT_EQ(Put(h, "AD", huge), VMX_BAD_ARGUMENT);
    ASSERT_EQ(VmxClose(&h), VMX_OK);

    int16_t r;
    auto all = ReadAll(base, &r);
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(all["AD"], kCompany);
}

TEST(Store, HandlesThatAreNotOpen) {
    TempDir dir;
    MakeStore(dir / "s", {{"AD", kCompany}});
    int32_t closed = 0;
    ASSERT_EQ(OpenStore(dir / "s", VMX_ACCESS_READ, &closed), VMX_OK);
    ASSERT_EQ(VmxClose(&closed), VMX_OK);
    std::vector<unsigned char> block(5 * sizeof(char *) + 4);
    const char *key = "AD";
    int16_t mode = 0;
    int32_t n;
    VmxStoreInfo info;
    for (int32_t h : {0, -1, 1, 12345, INT32_MAX, INT32_MIN, closed}) {
        EXPECT_EQ(VmxPut(&h, &key, block.data(), &mode), VMX_BAD_HANDLE) << h;
        EXPECT_EQ(VmxGet(&h, &key, block.data()), VMX_BAD_HANDLE) << h;
        EXPECT_EQ(VmxFirst(&h, &key, block.data()), VMX_BAD_HANDLE) << h;
        EXPECT_EQ(VmxNext(&h, &key, block.data()), VMX_BAD_HANDLE) << h;
        EXPECT_EQ(VmxCount(&h, &n), VMX_BAD_HANDLE) << h;
        EXPECT_EQ(VmxInfo(&h, &info), VMX_BAD_HANDLE) << h;
        EXPECT_EQ(VmxClose(&h), VMX_BAD_HANDLE) << h;
    }
    EXPECT_EQ(VmxClose(nullptr), VMX_BAD_HANDLE);
}

TEST(Store, ReadOnlyHandlesAndPutModes) {
    TempDir dir;
    const std::string base = dir / "s";
    MakeStore(base, {{"AD", kCompany}});
    int32_t h = 0;
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READ, &h), VMX_OK);
    EXPECT_EQ(Put(h, "AE", kCompany), VMX_READ_ONLY);
    ASSERT_EQ(VmxClose(&h), VMX_OK);

    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_OK);
    EXPECT_EQ(Put(h, "AD", kPlaceholder, VMX_PUT_INSERT), VMX_EXISTS);
    EXPECT_EQ(Put(h, "AE", kCompany, VMX_PUT_UPDATE), VMX_NOT_FOUND);
    EXPECT_EQ(Put(h, "AE", kCompany, VMX_PUT_INSERT), VMX_OK);
    EXPECT_EQ(Put(h, "AD", kPlaceholder, VMX_PUT_UPDATE), VMX_OK);
    ASSERT_EQ(VmxClose(&h), VMX_OK);
    int16_t r;
    auto all = ReadAll(base, &r);
    EXPECT_EQ(all, (std::map<std::string, Record>{{"AD", kPlaceholder}, {"AE", kCompany}}));
}

// Many sessions of random puts and replaces, checked against a map, at the
// smallest page size (a deep tree) and the default one.
TEST(Store, ManySessionsAgreeWithAMap) {
    for (int32_t page_size : {1024, 0}) {
        SCOPED_TRACE(page_size);
        TempDir dir;
        const std::string base = dir / "s";
        ASSERT_EQ(CreateStore(base, kRegistryLayout, page_size), VMX_OK);
        std::map<std::string, Record> expected;
        std::mt19937 rng(42);
        for (int session = 0; session < 6; ++session) {
            int32_t h = 0;
            ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_OK);
            for (int i = 0; i < 4000; ++i) {
                std::string key = std::to_string(rng() % 12000);
                Record rec(std::string(rng() % 30, 'a' + static_cast<char>(session)),
                           static_cast<int16_t>(i), static_cast<int16_t>(session), key);
                ASSERT_EQ(Put(h, key, rec), VMX_OK);
                expected[key] = rec;
            }
            ASSERT_EQ(VmxClose(&h), VMX_OK);
            int32_t n = 0;
            std::string message;
            ASSERT_EQ(Verify(base, &n, &message), VMX_OK) << message;
            EXPECT_EQ(n, static_cast<int32_t>(expected.size()));
        }
        int16_t r;
        EXPECT_EQ(ReadAll(base, &r), expected);
        EXPECT_EQ(r, VMX_OK);
    }
}

TEST(Store, InfoDescribesTheStore) {
    TempDir dir;
    const std::string base = dir / "s";
    MakeStore(base, {{"AD", kCompany}, {"YY", kPlaceholder}});
    int32_t h = 0;
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READ, &h), VMX_OK);
    VmxStoreInfo info{};
    ASSERT_EQ(VmxInfo(&h, &info), VMX_OK);
    EXPECT_STREQ(info.layout, kRegistryLayout);
    EXPECT_EQ(info.records, 2);
    EXPECT_EQ(info.format_version, 1);
    EXPECT_EQ(info.generation, 3);  // created (1), opened (2), closed (3)
    EXPECT_EQ(info.page_size, 4096);
    EXPECT_EQ(info.key_max, 40);
    EXPECT_EQ(info.clean, 1);
    ASSERT_EQ(VmxClose(&h), VMX_OK);
}

TEST(Store, CopiedUnderAnotherNameIsTheSameStore) {
    TempDir dir;
    std::map<std::string, Record> records;
    for (int i = 0; i < 3000; ++i) records["k" + std::to_string(i)] = {std::to_string(i)};
    MakeStore(dir / "temp", records);
    for (const char *ext : {".isd", ".isl", ".isf", ".ism"}) {
        std::filesystem::copy_file(dir / (std::string("temp") + ext),
                                   dir / (std::string("velko") + ext));
    }
    EXPECT_EQ(Verify(dir / "velko"), VMX_OK);
    int16_t r1, r2;
    EXPECT_EQ(ReadAll(dir / "velko", &r1), ReadAll(dir / "temp", &r2));
    EXPECT_EQ(r1, VMX_OK);
}

TEST(Store, Rename) {
    TempDir dir;
    MakeStore(dir / "a", {{"AD", kCompany}});
    MakeStore(dir / "b", {{"YY", kPlaceholder}});
    auto rename = [](const std::string &from, const std::string &to) {
        const char *f = from.c_str(), *t = to.c_str();
        return VmxRename(&f, &t);
    };
    EXPECT_EQ(rename(dir / "a", dir / "b"), VMX_EXISTS);
    EXPECT_EQ(rename(dir / "missing", dir / "c"), VMX_NOT_FOUND);
    int32_t h = 0;
    ASSERT_EQ(OpenStore(dir / "a", VMX_ACCESS_READWRITE, &h), VMX_OK);
    EXPECT_EQ(rename(dir / "a", dir / "c"), VMX_IN_USE);
    ASSERT_EQ(VmxClose(&h), VMX_OK);

    ASSERT_EQ(rename(dir / "a", dir / "c"), VMX_OK);
    for (const auto &f : Files(dir / "a")) EXPECT_FALSE(Exists(f)) << f;
    int16_t r;
    EXPECT_EQ(ReadAll(dir / "c", &r), (std::map<std::string, Record>{{"AD", kCompany}}));
    // A rename stopped midway (the machine went down) is finished by the
    // next one; a file of another store in the way is not taken over.
    MakeStore(dir / "e", {{"AD", kCompany}});
    std::filesystem::rename(dir / "e.isd", dir / "f.isd");
    std::filesystem::rename(dir / "e.isl", dir / "f.isl");
    MakeStore(dir / "g", {{"YY", kPlaceholder}});
    std::filesystem::remove(dir / "g.isd");
    std::filesystem::remove(dir / "g.isl");
    EXPECT_EQ(rename(dir / "g", dir / "f"), VMX_EXISTS);  // f.isd and f.isl are e's
    EXPECT_TRUE(Exists(dir / "g.ism"));
    ASSERT_EQ(rename(dir / "e", dir / "f"), VMX_OK);
    for (const auto &f : Files(dir / "e")) EXPECT_FALSE(Exists(f)) << f;
    EXPECT_EQ(Verify(dir / "f"), VMX_OK);
    EXPECT_EQ(ReadAll(dir / "f", &r), (std::map<std::string, Record>{{"AD", kCompany}}));

    // A broken store moves aside with the files it has.
    std::filesystem::remove(dir / "b.isf");
    EXPECT_EQ(rename(dir / "b", dir / "d"), VMX_OK);
    for (const auto &f : Files(dir / "b")) EXPECT_FALSE(Exists(f)) << f;
    EXPECT_TRUE(Exists(dir / "d.isd"));
    EXPECT_FALSE(Exists(dir / "d.isf"));
}

TEST(Store, KillRemovesWhatIsLeftOfABrokenStore) {
    TempDir dir;
    MakeStore(dir / "s", {{"AD", kCompany}});
    std::filesystem::remove(dir / "s.ism");
    std::string base = dir / "s";
    const char *name = base.c_str();
    int32_t h;
    EXPECT_EQ(OpenStore(base, VMX_ACCESS_READ, &h), VMX_CORRUPT);
    EXPECT_EQ(VmxKill(&name), VMX_OK);
    for (const auto &f : Files(base)) EXPECT_FALSE(Exists(f)) << f;
}

// Runs `child` in a forked process that reports on a pipe when it holds the
// store, then waits for the parent's word to go on.
class Child {
  public:
    template <typename F>
    explicit Child(F child) {
        if (pipe(ready_) != 0 || pipe(go_) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            int code = child();
            char c = 1;
            if (write(ready_[1], &c, 1) != 1) _exit(99);
            if (read(go_[0], &c, 1) != 1) _exit(98);
            _exit(code);
        }
        char c;
        if (read(ready_[0], &c, 1) != 1) throw std::runtime_error("child died");
    }
    // Lets the child go on; returns its exit status.
    int Finish() {
        char c = 1;
        if (write(go_[1], &c, 1) != 1) return -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    int ready_[2], go_[2];
    pid_t pid_;
};

TEST(Store, AWriterLocksTheStoreAgainstOtherProcesses) {
    TempDir dir;
    const std::string base = dir / "s";
    MakeStore(base, {{"AD", kCompany}});
    const char *name = base.c_str();
    {
        Child writer([&] {
            int32_t h;
            return OpenStore(base, VMX_ACCESS_READWRITE, &h) == VMX_OK ? 0 : 1;
        });
        int32_t h = 0;
        EXPECT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_IN_USE);
        EXPECT_EQ(OpenStore(base, VMX_ACCESS_READ, &h), VMX_IN_USE);
        EXPECT_EQ(VmxKill(&name), VMX_IN_USE);
        EXPECT_EQ(writer.Finish(), 0);  // ends without closing
    }
    for (const auto &f : Files(base)) EXPECT_TRUE(Exists(f)) << f;

    // In one process too, a second writer is refused.
    int32_t h1 = 0, h2 = 0;
    EXPECT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h1, VMX_OPEN_RECOVER), VMX_OK);
    EXPECT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h2, VMX_OPEN_RECOVER), VMX_IN_USE);
    EXPECT_EQ(VmxClose(&h1), VMX_OK);

    // Readers share the store, and keep writers and Kill out.
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READ, &h1), VMX_OK);
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READ, &h2), VMX_OK);
    EXPECT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h1), VMX_IN_USE);
    EXPECT_EQ(VmxKill(&name), VMX_IN_USE);
    EXPECT_EQ(VmxClose(&h2), VMX_OK);
}

TEST(Store, AProcessThatStopsBeforeCloseLeavesTheLastClosedState) {
    TempDir dir;
    const std::string base = dir / "s";
    MakeStore(base, {{"AD", kCompany}});
    Child crashed([&] {
        int32_t h;
        if (OpenStore(base, VMX_ACCESS_READWRITE, &h) != VMX_OK) return 1;
        for (int i = 0; i < 5000; ++i) Put(h, "n" + std::to_string(i), kCompany);
        return 0;  // no VmxClose
    });
    EXPECT_EQ(crashed.Finish(), 0);

    int32_t h = 0;
    EXPECT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_NOT_CLOSED);
    EXPECT_EQ(Verify(base), VMX_NOT_CLOSED);
    int16_t r;
    auto all = ReadAll(base, &r, VMX_OPEN_RECOVER);
    EXPECT_EQ(r, VMX_OK);
    EXPECT_EQ(all, (std::map<std::string, Record>{{"AD", kCompany}}));

    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h, VMX_OPEN_RECOVER), VMX_OK);
    EXPECT_EQ(Put(h, "YY", kPlaceholder), VMX_OK);
    ASSERT_EQ(VmxClose(&h), VMX_OK);
    EXPECT_EQ(Verify(base), VMX_OK);
    EXPECT_EQ(ReadAll(base, &r).size(), 2u);
}

}  // namespace
}  // namespace vbis::test
