// Tests of the inspector storetool, end to end: each test makes its stores
// through the C interface in a fresh directory, runs the built storetool
// binary on them and checks its stdout, stderr and exit code, which are what
// people and scripts rely on.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "gtest/gtest.h"
#include "vbis4032.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

// A record field as the test writes it: a text or a 16-bit integer.
using Field = std::variant<std::string, int16_t>;

struct Record {
    std::string key;
    std::vector<Field> fields;
};

// The registry's layout: a name, three texts, two integers, one text.
constexpr char kRegistryLayout[] = "x40$,$,$,$,%,%,$";

// Lays out `fields` as the record block the C interface takes: in order, no
// padding, texts as pointers into `fields` (which must outlive the block).
std::vector<unsigned char> Block(const std::vector<Field> &fields) {
    std::vector<unsigned char> block;
    for (const Field &field : fields) {
        std::size_t at = block.size();
        if (const auto *text = std::get_if<std::string>(&field)) {
            const char *pointer = text->c_str();
            block.resize(at + sizeof pointer);
            std::memcpy(block.data() + at, &pointer, sizeof pointer);
        } else {
            int16_t value = std::get<int16_t>(field);
            block.resize(at + sizeof value);
            std::memcpy(block.data() + at, &value, sizeof value);
        }
    }
    return block;
}

int16_t CreateStore(const std::string &path, const char *layout, int32_t page_size = 0) {
    const char *store = path.c_str();
    const int16_t key_kind = 2, reserved = 0;
    return VmxCreate(&store, &key_kind, &page_size, &reserved, &reserved, &layout);
}

// A store open for writing through the C interface.
class Writer {
  public:
    explicit Writer(const std::string &path) {
        const char *store = path.c_str();
        const int16_t flags = 0, access = VMX_ACCESS_READWRITE;
        open_result_ = VmxOpen(&store, &flags, &access, &handle_);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    ~Writer() {
        if (handle_ != 0) VmxClose(&handle_);
    }

    int16_t open_result() const { return open_result_; }

    int16_t Put(const Record &record) {
        const char *key = record.key.c_str();
        std::vector<unsigned char> block = Block(record.fields);
        const int16_t mode = VMX_PUT_UPSERT;
        return VmxPut(&handle_, &key, block.data(), &mode);
    }

    int16_t Close() {
        int16_t result = VmxClose(&handle_);
        handle_ = 0;
        return result;
    }

  private:
    int32_t handle_ = 0;
    int16_t open_result_ = VMX_BAD_HANDLE;
};

// Creates a store with `layout` and puts `records` in one write session.
void MakeStore(const std::string &path, const char *layout, const std::vector<Record> &records) {
    ASSERT_EQ(CreateStore(path, layout), VMX_OK) << path;
    Writer writer(path);
    ASSERT_EQ(writer.open_result(), VMX_OK) << path;
    for (const Record &record : records) {
        ASSERT_EQ(writer.Put(record), VMX_OK) << "key " << record.key;
    }
    ASSERT_EQ(writer.Close(), VMX_OK) << path;
}

struct ToolRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class StoretoolTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(testing::TempDir()) / "storetool_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string StorePath(const std::string &name) const { return (dir_ / name).string(); }

    // Runs storetool with `args`; its stdout and stderr go to files, so a
    // long output cannot block it on a full pipe.
    ToolRun Run(const std::vector<std::string> &args) const {
        const std::string out_path = (dir_ / "stdout").string();
        const std::string err_path = (dir_ / "stderr").string();
        std::vector<std::string> words = {STORETOOL_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &word : words) argv.push_back(word.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ToolRun run;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot run " << argv[0] << ": " << std::strerror(spawned);
            return run;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        // A signal shows as the shell would show it, so a crash never passes
        // for a clean exit.
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadFile(out_path);
        run.err = ReadFile(err_path);
        return run;
    }

    fs::path dir_;
};

TEST_F(StoretoolTest, DumpListsRecordsInByteOrderOfKeysWithTheLaterRecordWinning) {
    const std::string store = StorePath("order");
    MakeStore(store, "x40$,%,$",
              {
                  {"b", {std::string("first"), int16_t{1}, std::string("")}},
                  {"yy", {std::string("lower"), int16_t{-2}, std::string("")}},
                  {"\xe9t\xe9", {std::string("high"), int16_t{3}, std::string("")}},
                  {"a\\b", {std::string("backslash"), int16_t{4}, std::string("")}},
                  {"YY", {std::string("upper"), int16_t{5}, std::string("")}},
                  {"a\tb", {std::string("tab"), int16_t{6}, std::string("")}},
                  {"a", {std::string("a"), int16_t{7}, std::string("")}},
                  {"\x01k", {std::string("control"), int16_t{8}, std::string("")}},
                  {"a\nb", {std::string("newline"), int16_t{9}, std::string("")}},
                  {"b", {std::string("second"), int16_t{10}, std::string("end")}},
              });

    ToolRun run = Run({"dump", store});

    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "\\x01k\tcontrol\t8\t\n"
              "YY\tupper\t5\t\n"
              "a\ta\t7\t\n"
              "a\\tb\ttab\t6\t\n"
              "a\\nb\tnewline\t9\t\n"
              "a\\\\b\tbackslash\t4\t\n"
              "b\tsecond\t10\tend\n"
              "yy\tlower\t-2\t\n"
              "\xe9t\xe9\thigh\t3\t\n");
}

TEST_F(StoretoolTest, GetPrintsTheRecordWithItsTextsEscaped) {
    struct Case {
        const char *name;
        std::string text;
        const char *escaped;
    };
    const std::vector<Case> cases = {
        {"plain", "Rossi Srl", "Rossi Srl"},
        {"empty", "", ""},
        {"tab", "a\tb", "a\\tb"},
        {"newline", "a\nb", "a\\nb"},
        {"backslash", "a\\b", "a\\\\b"},
        {"backslash before t", "a\\tb", "a\\\\tb"},
        {"0x01", "a\x01z", "a\\x01z"},
        {"carriage return", "a\rb", "a\\x0db"},
        {"0x1f", "\x1f", "\\x1f"},
        {"0x7f passes", "\x7f", "\x7f"},
        {"bytes from 0x80 pass", "caff\xe8 \x80\xff", "caff\xe8 \x80\xff"},
    };
    const std::string store = StorePath("texts");
    std::vector<Record> records;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        records.push_back({"row" + std::to_string(i), {cases[i].text, int16_t{0}}});
    }
    MakeStore(store, "$,%", records);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string key = "row" + std::to_string(i);
        ToolRun run = Run({"get", store, key});
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out, key + "\t" + cases[i].escaped + "\t0\n");
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(StoretoolTest, DumpReadsEveryLayoutByItsOwnOffsets) {
    struct Case {
        const char *layout;
        std::vector<Field> fields;
        const char *line;
    };
    const std::vector<Case> cases = {
        {"$", {std::string("only")}, "k\tonly\n"},
        {"%", {int16_t{-32768}}, "k\t-32768\n"},
        {"%,%,%", {int16_t{32767}, int16_t{0}, int16_t{-1}}, "k\t32767\t0\t-1\n"},
        {"x8$,%", {std::string("short keys"), int16_t{12}}, "k\tshort keys\t12\n"},
        // Texts after an odd number of integers sit at offsets that are not
        // pointer-aligned.
        {"%,$,%,$",
         {int16_t{1}, std::string("one"), int16_t{2}, std::string("two")},
         "k\t1\tone\t2\ttwo\n"},
        {kRegistryLayout,
         {std::string("Rossi"), std::string(""), std::string(""), std::string(""), int16_t{3},
          int16_t{-4}, std::string("")},
         "k\tRossi\t\t\t\t3\t-4\t\n"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].layout);
        const std::string store = StorePath("layout" + std::to_string(i));
        MakeStore(store, cases[i].layout, {{"k", cases[i].fields}});
        ToolRun run = Run({"dump", store});
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out, cases[i].line);
    }
}

TEST_F(StoretoolTest, GetOfAnAbsentKeyReportsNotFound) {
    const std::string store = StorePath("absent");
    MakeStore(store, "$", {{"yy", {std::string("x")}}});

    for (const char *key : {"YY", "y", "yyy", "zz"}) {
        SCOPED_TRACE(key);
        ToolRun run = Run({"get", store, key});
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "not found\n");
    }
}

TEST_F(StoretoolTest, VerifyCountsTheRecords) {
    const std::string empty = StorePath("empty");
    MakeStore(empty, "$", {});
    const std::string three = StorePath("three");
    MakeStore(three, "$",
              {{"a", {std::string("1")}}, {"b", {std::string("2")}}, {"c", {std::string("3")}}});

    ToolRun run = Run({"verify", empty});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "ok: 0 records\n");
    run = Run({"verify", three});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "ok: 3 records\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(StoretoolTest, DamagedDataFileIsReportedWithItsName) {
    const std::string store = StorePath("damaged");
    std::vector<Record> records;
    for (int i = 0; i < 3000; ++i) {
        records.push_back(
            {"key" + std::to_string(i * 7919 % 3001),
             {std::string("Ditta ") + std::to_string(i), std::string(""), std::string(""),
              std::string(""), int16_t(i % 100), int16_t{1}, std::string("")}});
    }
    MakeStore(store, kRegistryLayout, records);
    ASSERT_EQ(Run({"verify", store}).exit_code, 0);

    const std::string data_file = store + ".isd";
    std::fstream file(data_file, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file) << data_file;
    const auto middle = static_cast<std::streamoff>(fs::file_size(data_file) / 2);
    char byte = 0;
    file.seekg(middle);
    file.get(byte);
    file.seekp(middle);
    file.put(static_cast<char>(byte ^ 0x5a));
    file.close();

    ToolRun run = Run({"verify", store});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("damaged.isd"), std::string::npos) << run.err;

    // Reading the damaged store must fail just as cleanly.
    run = Run({"dump", store});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(VmxResultText(VMX_CORRUPT)), std::string::npos) << run.err;
}

TEST_F(StoretoolTest, InfoDescribesTheStore) {
    const std::string store = StorePath("info");
    ASSERT_EQ(CreateStore(store, "x20$,%", 8192), VMX_OK);
    {
        Writer writer(store);
        ASSERT_EQ(writer.open_result(), VMX_OK);
        ASSERT_EQ(writer.Put({"a", {std::string("1"), int16_t{1}}}), VMX_OK);
        ASSERT_EQ(writer.Put({"b", {std::string("2"), int16_t{2}}}), VMX_OK);
        ASSERT_EQ(writer.Close(), VMX_OK);
    }
    // The format version and generation are the library's to choose: the
    // tool must show what the library says.
    VmxStoreInfo info{};
    {
        const char *path = store.c_str();
        const int16_t flags = 0, access = VMX_ACCESS_READ;
        int32_t handle = 0;
        ASSERT_EQ(VmxOpen(&path, &flags, &access, &handle), VMX_OK);
        ASSERT_EQ(VmxInfo(&handle, &info), VMX_OK);
        ASSERT_EQ(VmxClose(&handle), VMX_OK);
    }

    ToolRun run = Run({"info", store});

    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "layout: x20$,%\n"
              "records: 2\n"
              "format version: " +
                  std::to_string(info.format_version) +
                  "\n"
                  "generation: " +
                  std::to_string(info.generation) +
                  "\n"
                  "page size: 8192\n"
                  "key max: 20\n"
                  "clean: yes\n");
}

TEST_F(StoretoolTest, InfoDescribesAStoreNotClosedCleanly) {
    const std::string store = StorePath("unclean");
    MakeStore(store, "$", {{"a", {std::string("1")}}, {"b", {std::string("2")}}});

    // A writer that stops without VmxClose, as a killed program would.
    pid_t pid = fork();
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
        Writer writer(store);
        if (writer.open_result() != VMX_OK) _exit(10);
        for (int i = 0; i < 100; ++i) {
            if (writer.Put({"new" + std::to_string(i), {std::string("x")}}) != VMX_OK) _exit(11);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;

    ToolRun run = Run({"info", store});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("\nrecords: 2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nclean: no\n"), std::string::npos) << run.out;

    // The other commands do not read such a store without saying so.
    run = Run({"dump", store});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(VmxResultText(VMX_NOT_CLOSED)), std::string::npos) << run.err;
}

TEST_F(StoretoolTest, CopiedUnderAnotherNameTheStoreDumpsTheSame) {
    const std::string store = StorePath("original");
    MakeStore(store, "$,%",
              {{"a", {std::string("uno"), int16_t{1}}}, {"b", {std::string("due"), int16_t{2}}}});
    const std::string copy = StorePath("copy");
    for (const char *extension : {".isd", ".isl", ".isf", ".ism"}) {
        fs::copy_file(store + extension, copy + extension);
    }

    ToolRun run = Run({"verify", copy});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "ok: 2 records\n");
    ToolRun original = Run({"dump", store});
    run = Run({"dump", copy});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, original.out);
    EXPECT_EQ(run.out, "a\tuno\t1\nb\tdue\t2\n");
}

TEST_F(StoretoolTest, UsageErrorsExitWithTwo) {
    const std::string store = StorePath("usage");
    MakeStore(store, "$", {{"a", {std::string("1")}}});
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"dump"},
        {"get", store},
        {"verify"},
        {"info"},
        {"dump", store, "extra"},
        {"get", store, "a", "extra"},
        {"info", store, store},
        {"list", store},
        {"DUMP", store},
        {"--dump", store},
    };
    for (const std::vector<std::string> &args : cases) {
        std::string row;
        for (const std::string &arg : args) row += " " + arg;
        SCOPED_TRACE("storetool" + row);
        ToolRun run = Run(args);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: storetool"), std::string::npos) << run.err;
    }
}

TEST_F(StoretoolTest, LibraryFailuresAreReportedWithTheResultText) {
    const std::string missing = StorePath("missing");
    const std::string busy = StorePath("busy");
    MakeStore(busy, "$", {{"a", {std::string("1")}}});
    Writer writer(busy);
    ASSERT_EQ(writer.open_result(), VMX_OK);

    struct Case {
        std::vector<std::string> args;
        int16_t result;
    };
    const std::vector<Case> cases = {
        {{"dump", missing}, VMX_NOT_FOUND},   {{"get", missing, "a"}, VMX_NOT_FOUND},
        {{"verify", missing}, VMX_NOT_FOUND}, {{"info", missing}, VMX_NOT_FOUND},
        {{"dump", busy}, VMX_IN_USE},         {{"get", busy, "a"}, VMX_IN_USE},
        {{"info", busy}, VMX_IN_USE},         {{"verify", busy}, VMX_IN_USE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        ToolRun run = Run(c.args);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(VmxResultText(c.result)), std::string::npos) << run.err;
    }
}

}  // namespace
