// storetool: the inspector of a vbis4032 store, for people and scripts.
//
// It prints a store's records, one record or a description of the store, and
// checks it, using only the library's public C interface: what it shows is
// what any other program of the suite would read. Output is one line per
// record with tab-separated fields, texts escaped so that every line stays one
// line; exit codes are 0 (done), 1 (not found or a library failure, with the
// reason on stderr) and 2 (usage error).

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vbis4032.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: storetool dump STORE      print every record, in key order\n"
    "       storetool get STORE KEY   print the record under KEY\n"
    "       storetool verify STORE    check every page, record and checksum\n"
    "       storetool info STORE      describe the store\n"
    "STORE is the store's path without extension (P for P.isd, P.isl, P.isf, P.ism).\n";

enum class FieldKind { kText, kInt16 };

// Where each field sits in a record block. The tool derives this from the
// layout text itself instead of trusting a struct, so it reads stores of any
// layout the library accepts.
struct BlockLayout {
    std::vector<FieldKind> fields;
    std::vector<std::size_t> offsets;
    std::size_t size = 0;
};

// Parses a layout text as the library defines it: items "$" and "%" separated
// by commas, the first one optionally prefixed by "x" and digits (the key
// maximum, which does not change the block).
std::optional<BlockLayout> ParseLayout(std::string_view text) {
    BlockLayout layout;
    std::size_t pos = 0;
    if (pos < text.size() && text[pos] == 'x') {
        ++pos;
        std::size_t digits = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        if (pos == digits) return std::nullopt;
    }
    for (;;) {
        if (pos >= text.size()) return std::nullopt;
        FieldKind kind;
        std::size_t width;
        if (text[pos] == '$') {
            kind = FieldKind::kText;
            width = sizeof(const char *);
        } else if (text[pos] == '%') {
            kind = FieldKind::kInt16;
            width = sizeof(int16_t);
        } else {
            return std::nullopt;
        }
        ++pos;
        layout.fields.push_back(kind);
        layout.offsets.push_back(layout.size);
        layout.size += width;
        if (pos == text.size()) return layout;
        if (text[pos] != ',') return std::nullopt;
        ++pos;
    }
}

// Appends `text` with backslash, tab, newline and every other byte below 0x20
// escaped, so a field never breaks the line or the column structure. Bytes
// from 0x80 up pass through untouched: texts are 8-bit, not UTF-8.
void AppendEscaped(std::string &out, const char *text) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (text == nullptr) return;
    for (const char *p = text; *p != '\0'; ++p) {
        auto byte = static_cast<unsigned char>(*p);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte < 0x20) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += static_cast<char>(byte);
        }
    }
}

// One dump line: the key, then the fields in layout order.
std::string FormatRecord(const char *key, const BlockLayout &layout,
                         const std::vector<unsigned char> &block) {
    std::string line;
    AppendEscaped(line, key);
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        line += '\t';
        const unsigned char *at = block.data() + layout.offsets[i];
        if (layout.fields[i] == FieldKind::kText) {
            const char *text;
            std::memcpy(&text, at, sizeof text);
            AppendEscaped(line, text);
        } else {
            int16_t value;
            std::memcpy(&value, at, sizeof value);
            line += std::to_string(value);
        }
    }
    line += '\n';
    return line;
}

void PrintError(const std::string &what, int16_t result) {
    std::fprintf(stderr, "storetool: %s: %s\n", what.c_str(), VmxResultText(result));
}

// Writes to stdout and remembers whether every write succeeded, so a full
// disk or a closed pipe ends in exit 1 instead of a silently short dump.
bool WriteOut(const std::string &text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

int FinishOutput() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "storetool: cannot write the output: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    return kExitOk;
}

// A store open for reading, closed on every path out of a command.
class ReadHandle {
  public:
    ReadHandle() = default;
    ReadHandle(const ReadHandle &) = delete;
    ReadHandle &operator=(const ReadHandle &) = delete;
    ~ReadHandle() {
        if (handle_ != 0) VmxClose(&handle_);
    }

    // On failure prints the reason and returns false.
    bool Open(const char *path, int16_t flags) {
        const int16_t access = VMX_ACCESS_READ;
        path_ = path;
        int16_t result = VmxOpen(&path, &flags, &access, &handle_);
        if (result != VMX_OK) {
            handle_ = 0;
            PrintError("cannot open " + path_, result);
            return false;
        }
        return true;
    }

    const int32_t *handle() const { return &handle_; }
    const std::string &path() const { return path_; }

    // The block layout, checked against the size the library reports so that
    // a disagreement is reported instead of read past.
    std::optional<BlockLayout> Layout() const {
        VmxStoreInfo info{};
        int16_t result = VmxInfo(&handle_, &info);
        if (result != VMX_OK) {
            PrintError(path_ + ": cannot describe the store", result);
            return std::nullopt;
        }
        int32_t size = 0;
        result = VmxRecordSize(&handle_, &size);
        if (result != VMX_OK) {
            PrintError(path_ + ": cannot get the record size", result);
            return std::nullopt;
        }
        const char *text = info.layout != nullptr ? info.layout : "";
        std::optional<BlockLayout> layout = ParseLayout(text);
        if (!layout) {
            std::fprintf(stderr, "storetool: %s: unreadable layout text \"%s\"\n", path_.c_str(),
                         text);
            return std::nullopt;
        }
        if (size < 0 || layout->size != static_cast<std::size_t>(size)) {
            std::fprintf(stderr,
                         "storetool: %s: layout \"%s\" makes a %zu-byte record, the library "
                         "says %ld bytes\n",
                         path_.c_str(), text, layout->size, static_cast<long>(size));
            return std::nullopt;
        }
        return layout;
    }

  private:
    int32_t handle_ = 0;
    std::string path_;
};

int Dump(const char *path) {
    ReadHandle store;
    if (!store.Open(path, 0)) return kExitFailure;
    std::optional<BlockLayout> layout = store.Layout();
    if (!layout) return kExitFailure;

    std::vector<unsigned char> block(layout->size);
    const char *key = nullptr;
    int16_t result = VmxFirst(store.handle(), &key, block.data());
    bool written = true;
    while (result == VMX_OK && written) {
        written = WriteOut(FormatRecord(key, *layout, block));
        result = VmxNext(store.handle(), &key, block.data());
    }
    if (written && result != VMX_NOT_FOUND) {
        FinishOutput();
        PrintError(store.path() + ": cannot read the next record", result);
        return kExitFailure;
    }
    return FinishOutput();
}

int Get(const char *path, const char *key) {
    ReadHandle store;
    if (!store.Open(path, 0)) return kExitFailure;
    std::optional<BlockLayout> layout = store.Layout();
    if (!layout) return kExitFailure;

    std::vector<unsigned char> block(layout->size);
    int16_t result = VmxGet(store.handle(), &key, block.data());
    if (result == VMX_NOT_FOUND) {
        std::fputs("not found\n", stderr);
        return kExitFailure;
    }
    if (result != VMX_OK) {
        PrintError(store.path() + ": cannot get the record", result);
        return kExitFailure;
    }
    WriteOut(FormatRecord(key, *layout, block));
    return FinishOutput();
}

int Verify(const char *path) {
    int32_t records = 0;
    char message[1024] = "";
    const int32_t message_size = sizeof message;
    int16_t result = VmxVerify(&path, &records, message, &message_size);
    if (result != VMX_OK) {
        message[sizeof message - 1] = '\0';
        if (message[0] != '\0') {
            // The message names the damaged file itself.
            std::fprintf(stderr, "storetool: verify failed (%s): %s\n", VmxResultText(result),
                         message);
        } else {
            PrintError(std::string("cannot verify ") + path, result);
        }
        return kExitFailure;
    }
    WriteOut("ok: " + std::to_string(records) + " records\n");
    return FinishOutput();
}

int Info(const char *path) {
    // Describing a store that was not closed cleanly is exactly when one
    // wants to look at it, so open it at its last committed state.
    ReadHandle store;
    if (!store.Open(path, VMX_OPEN_RECOVER)) return kExitFailure;
    VmxStoreInfo info{};
    int16_t result = VmxInfo(store.handle(), &info);
    if (result != VMX_OK) {
        PrintError(store.path() + ": cannot describe the store", result);
        return kExitFailure;
    }
    std::string text;
    text += "layout: ";
    AppendEscaped(text, info.layout);
    text += "\nrecords: " + std::to_string(info.records);
    text += "\nformat version: " + std::to_string(info.format_version);
    text += "\ngeneration: " + std::to_string(info.generation);
    text += "\npage size: " + std::to_string(info.page_size);
    text += "\nkey max: " + std::to_string(info.key_max);
    text += std::string("\nclean: ") + (info.clean ? "yes" : "no") + "\n";
    WriteOut(text);
    return FinishOutput();
}

int UsageError(const char *problem) {
    if (problem != nullptr) std::fprintf(stderr, "storetool: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return UsageError(nullptr);
    std::string_view command = argv[1];
    if (command == "-h" || command == "--help") {
        std::fputs(kUsage, stdout);
        return FinishOutput();
    }
    const int operands = argc - 2;
    if (command == "get") {
        if (operands != 2) return UsageError("get takes STORE and KEY");
        return Get(argv[2], argv[3]);
    }
    int (*run)(const char *) = nullptr;
    if (command == "dump") run = Dump;
    if (command == "verify") run = Verify;
    if (command == "info") run = Info;
    if (run == nullptr) {
        std::string problem = "unknown command \"" + std::string(command) + "\"";
        return UsageError(problem.c_str());
    }
    if (operands != 1) {
        std::string problem = std::string(command) + " takes STORE";
        return UsageError(problem.c_str());
    }
    return run(argv[2]);
}
