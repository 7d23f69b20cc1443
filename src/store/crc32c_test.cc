#include "crc32c.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vbis {
namespace {

TEST(Crc32c, KnownValues) {
    // Check values of CRC-32C from RFC 3720, B.4, and the usual "123456789".
    std::vector<uint8_t> zeros(32, 0), ones(32, 0xFF), ascending(32);
    for (int i = 0; i < 32; ++i) ascending[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(crc32c::Value(zeros.data(), zeros.size()), 0x8A9136AAu);
    EXPECT_EQ(crc32c::Value(ones.data(), ones.size()), 0x62A8AB43u);
    EXPECT_EQ(crc32c::Value(ascending.data(), ascending.size()), 0x46DD794Eu);
    EXPECT_EQ(crc32c::Value("123456789", 9), 0xE3069283u);
}

TEST(Crc32c, HardwareAndTableAgreeAndExtendInPieces) {
    std::string data;
    for (int i = 0; i < 5000; ++i) data.push_back(static_cast<char>(i * 131 + 7));
    for (size_t n : {0u, 1u, 7u, 8u, 9u, 767u, 768u, 769u, 1536u, 4092u, 4096u, 5000u}) {
        uint32_t whole = crc32c::Value(data.data(), n);
        EXPECT_EQ(whole, crc32c::ExtendPortable(0, data.data(), n)) << n;
        uint32_t split =
            crc32c::Extend(crc32c::Value(data.data(), n / 3), data.data() + n / 3, n - n / 3);
        EXPECT_EQ(whole, split) << n;
    }
}

}  // namespace
}  // namespace vbis
