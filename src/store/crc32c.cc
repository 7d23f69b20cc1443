// Uses the SSE4.2 crc32 instruction where the processor has it, and a
// byte-at-a-time table elsewhere; both give the same values.
#include "crc32c.h"

#include <array>
#include <cstring>

namespace vbis::crc32c {
namespace {

constexpr uint32_t kPoly = 0x82F63B78;  // reflected Castagnoli polynomial

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto kTable = MakeTable();

}  // namespace

uint32_t ExtendPortable(uint32_t crc, const void *data, size_t n) {
    const auto *p = static_cast<const unsigned char *>(data);
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace {

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t ExtendHardware(uint32_t crc, const unsigned char *p,
                                                           size_t n) {
    uint64_t c = ~crc & 0xFFFFFFFFu;
    while (n >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c = __builtin_ia32_crc32di(c, v);
        p += 8;
        n -= 8;
    }
    auto c32 = static_cast<uint32_t>(c);
    while (n > 0) {
        c32 = __builtin_ia32_crc32qi(c32, *p++);
        --n;
    }
    return ~c32;
}

bool HasHardware() {
    static const bool has = __builtin_cpu_supports("sse4.2");
    return has;
}
#endif

}  // namespace

uint32_t Extend(uint32_t crc, const void *data, size_t n) {
    const auto *p = static_cast<const unsigned char *>(data);
#if defined(__x86_64__)
    if (HasHardware()) return ExtendHardware(crc, p, n);
#endif
    return ExtendPortable(crc, p, n);
}

}  // namespace vbis::crc32c
