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
__attribute__((target("sse4.2"))) uint32_t Serial(uint32_t state, const unsigned char *p,
                                                  size_t n) {
    uint64_t c = state;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c = __builtin_ia32_crc32di(c, v);
    }
    auto c32 = static_cast<uint32_t>(c);
    for (; n > 0; --n) c32 = __builtin_ia32_crc32qi(c32, *p++);
    return c32;
}

// The crc32 instruction takes three cycles and can start one every cycle, so
// three independent lanes run three times as fast as one. A lane's state is
// then moved past the bytes of the lanes after it: a linear map, applied by
// table lookups, the same for every block since the lanes have a fixed size.
constexpr size_t kLane = 256;

struct Shift {
    uint32_t table[4][256];
    uint32_t operator()(uint32_t state) const {
        return table[0][state & 0xFF] ^ table[1][(state >> 8) & 0xFF] ^
               table[2][(state >> 16) & 0xFF] ^ table[3][state >> 24];
    }
};

const Shift &LaneShift() {
    static const Shift shift = [] {
        Shift s{};
        const unsigned char zeros[kLane] = {};
        for (int byte = 0; byte < 4; ++byte) {
            for (uint32_t v = 0; v < 256; ++v)
                s.table[byte][v] = Serial(v << (8 * byte), zeros, kLane);
        }
        return s;
    }();
    return shift;
}

__attribute__((target("sse4.2"))) uint32_t ExtendHardware(uint32_t crc, const unsigned char *p,
                                                          size_t n) {
    uint32_t state = ~crc;
    if (n >= 3 * kLane) {
        const Shift &shift = LaneShift();
        for (; n >= 3 * kLane; p += 3 * kLane, n -= 3 * kLane) {
            uint64_t a = state, b = 0, c = 0;
            for (size_t i = 0; i < kLane; i += 8) {
                uint64_t va, vb, vc;
                std::memcpy(&va, p + i, 8);
                std::memcpy(&vb, p + kLane + i, 8);
                std::memcpy(&vc, p + 2 * kLane + i, 8);
                a = __builtin_ia32_crc32di(a, va);
                b = __builtin_ia32_crc32di(b, vb);
                c = __builtin_ia32_crc32di(c, vc);
            }
            state = shift(shift(static_cast<uint32_t>(a)) ^ static_cast<uint32_t>(b)) ^
                    static_cast<uint32_t>(c);
        }
    }
    return ~Serial(state, p, n);
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
