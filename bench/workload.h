// The workload that store_bench and store_rss share: records shaped like the
// registry's (a short name, three empty texts, two integers, one empty text)
// under random 8-to-16-byte keys. Everything comes from a fixed seed, so every
// run and every engine sees the same keys in the same order.

#ifndef BENCH_WORKLOAD_H
#define BENCH_WORKLOAD_H

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace bench {

// The registry's layout: keys up to 40 bytes; name, three texts, two
// integers, one text.
inline constexpr char kRegistryLayout[] = "x40$,$,$,$,%,%,$";

// Random keys over letters and digits; generated one at a time so a caller
// that needs no list of them (store_rss) holds none in memory.
class KeyGenerator {
  public:
    explicit KeyGenerator(uint64_t seed = 20240611) : random_(seed) {}

    std::string Next() {
        static constexpr char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::uniform_int_distribution<int> length(8, 16);
        std::uniform_int_distribution<int> letter(0, sizeof kAlphabet - 2);
        std::string key(length(random_), ' ');
        for (char &c : key) c = kAlphabet[letter(random_)];
        return key;
    }

  private:
    std::mt19937_64 random_;
};

// The fields of record number `i`.
struct RegistryFields {
    std::string name;
    int16_t first = 0;
    int16_t second = 0;
};

inline RegistryFields FieldsOf(std::size_t i) {
    RegistryFields fields;
    fields.name = "Ditta " + std::to_string(i);
    fields.first = static_cast<int16_t>(i % 1000);
    fields.second = static_cast<int16_t>(i % 7);
    return fields;
}

// The record block for our store: texts as pointers, no padding, written by
// offsets as the C interface defines it.
class RegistryBlock {
  public:
    static constexpr std::size_t kSize = 5 * sizeof(const char *) + 2 * sizeof(int16_t);

    void Set(const RegistryFields &fields) {
        static const char kEmpty[] = "";
        std::size_t at = 0;
        PutText(at, fields.name.c_str());
        PutText(at, kEmpty);
        PutText(at, kEmpty);
        PutText(at, kEmpty);
        PutInt(at, fields.first);
        PutInt(at, fields.second);
        PutText(at, kEmpty);
    }
    void *data() { return bytes_; }

    // The name field of a block filled by the library.
    const char *Name() const {
        const char *name;
        std::memcpy(&name, bytes_, sizeof name);
        return name;
    }

  private:
    void PutText(std::size_t &at, const char *text) {
        std::memcpy(bytes_ + at, &text, sizeof text);
        at += sizeof text;
    }
    void PutInt(std::size_t &at, int16_t value) {
        std::memcpy(bytes_ + at, &value, sizeof value);
        at += sizeof value;
    }

    unsigned char bytes_[kSize] = {};
};

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
  public:
    TempDir() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/store_bench.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        }
        path_ = pattern;
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path &path() const { return path_; }

    // Bytes in all the files below the directory.
    uint64_t DiskBytes() const {
        uint64_t total = 0;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(path_)) {
            if (entry.is_regular_file()) total += entry.file_size();
        }
        return total;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace bench

#endif  // BENCH_WORKLOAD_H
