// CRC-32C (Castagnoli), the checksum on every page of a store.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vbis::crc32c {

// Extends `crc` (the value of the bytes so far, 0 to start) with n bytes.
uint32_t Extend(uint32_t crc, const void *data, size_t n);

// The table-driven computation that Extend falls back to; exposed for tests.
uint32_t ExtendPortable(uint32_t crc, const void *data, size_t n);

inline uint32_t Value(const void *data, size_t n) {
    return Extend(0, data, n);
}

}  // namespace vbis::crc32c
