#include "ui/file_names.h"

#include <array>
#include <cstdint>

#include "rebuild/utf8.h"

namespace posix {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

}  // namespace

std::u32string DecodeFileName(std::string_view bytes) {
    if (auto decoded = rebuild::DecodeUtf8(bytes)) return *std::move(decoded);
    std::u32string decoded;
    decoded.reserve(bytes.size());
    for (char byte : bytes) {
        const auto b = static_cast<std::uint8_t>(byte);
        decoded.push_back(b >= 0x80 && b <= 0x9F ? kWindows1252High[b - 0x80] : char32_t{b});
    }
    return decoded;
}

char32_t FoldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // À to Þ, not ×
    switch (c) {
        case 0x0152:  // Œ
        case 0x0160:  // Š
        case 0x017D:  // Ž
            return c + 1;
        case 0x0178:  // Ÿ
            return 0x00FF;
        default:
            return c;
    }
}

std::u32string FoldCase(std::u32string_view text) {
    std::u32string folded(text);
    for (char32_t &c : folded) c = FoldCase(c);
    return folded;
}

bool MatchesFolded(std::u32string_view name, std::u32string_view pattern) {
    // Greedy matching that, on a mismatch, lets the latest "*" take one more
    // character; linear in practice and never recursive.
    std::size_t n = 0, p = 0;
    std::size_t star = std::u32string_view::npos, star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            star_n = n;
        } else if (star != std::u32string_view::npos) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

}  // namespace posix
