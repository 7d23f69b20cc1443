// store_rss: the peak memory of writing a large store. It creates a store in
// a fresh temporary directory, puts RECORDS records (1,000,000 unless told)
// with random keys in one write session, closes it, verifies it, and prints
// the peak resident memory (getrusage's ru_maxrss) after each step.
//
// Keys and records are made one at a time and never kept, so the peak is the
// library's plus the program's small base, which is printed first for that
// reason. Exit 0 when every call succeeded and the store verifies with the
// expected number of records or fewer (random keys may repeat), 1 otherwise.

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "vbis4032.h"
#include "workload.h"

namespace {

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

void Report(const char *step, double seconds) {
    long kib = PeakKiB();
    std::printf("%-24s peak RSS %8ld KiB (%.1f MiB)  %.2f s\n", step, kib, kib / 1024.0, seconds);
    std::fflush(stdout);
}

bool Failed(int16_t result, const char *what) {
    if (result == VMX_OK) return false;
    std::fprintf(stderr, "store_rss: %s: %s\n", what, VmxResultText(result));
    return true;
}

int Run(long records) {
    bench::TempDir dir;
    const std::string path = (dir.path() / "registry").string();
    const char *store = path.c_str();
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    Report("start", 0);

    auto start = Clock::now();
    const char *layout = bench::kRegistryLayout;
    const int16_t key_kind = 2, reserved = 0, flags = 0, access = VMX_ACCESS_READWRITE;
    const int32_t page_size = 0;
    if (Failed(VmxCreate(&store, &key_kind, &page_size, &reserved, &reserved, &layout),
               "VmxCreate")) {
        return 1;
    }
    int32_t handle = 0;
    if (Failed(VmxOpen(&store, &flags, &access, &handle), "VmxOpen")) return 1;
    bench::KeyGenerator keys;
    bench::RegistryBlock block;
    const int16_t mode = VMX_PUT_UPSERT;
    for (long i = 0; i < records; ++i) {
        std::string key_text = keys.Next();
        bench::RegistryFields fields = bench::FieldsOf(static_cast<std::size_t>(i));
        block.Set(fields);
        const char *key = key_text.c_str();
        if (Failed(VmxPut(&handle, &key, block.data(), &mode), "VmxPut")) {
            VmxClose(&handle);
            return 1;
        }
    }
    Report("puts", since(start));
    if (Failed(VmxClose(&handle), "VmxClose")) return 1;
    Report("puts + close", since(start));

    start = Clock::now();
    int32_t verified = 0;
    char message[1024] = "";
    const int32_t message_size = sizeof message;
    int16_t result = VmxVerify(&store, &verified, message, &message_size);
    if (result != VMX_OK) {
        std::fprintf(stderr, "store_rss: VmxVerify: %s: %s\n", VmxResultText(result), message);
        return 1;
    }
    Report("verify", since(start));
    std::printf("records verified: %ld of %ld put; files: %.1f MiB\n", static_cast<long>(verified),
                records, dir.DiskBytes() / (1024.0 * 1024.0));
    if (verified <= 0 || verified > records) {
        std::fprintf(stderr, "store_rss: unexpected record count %ld\n",
                     static_cast<long>(verified));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    long records = 1000000;
    if (argc > 2 || (argc == 2 && (records = std::strtol(argv[1], nullptr, 10)) <= 0)) {
        std::fprintf(stderr, "usage: store_rss [RECORDS]\n");
        return 2;
    }
    try {
        return Run(records);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "store_rss: %s\n", error.what());
        return 1;
    }
}
