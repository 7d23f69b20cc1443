// The on-disk format of a store (docs/store-format.md tells it in prose).
//
// Each of the four files is a sequence of pages of the store's page size.
// Page 0 of every file is its header; the other pages carry a 32-byte page
// header followed by their contents. All integers are little-endian.
#pragma once

#include <cstdint>
#include <cstring>

namespace vbis {

constexpr uint32_t kFormatVersion = 1;
constexpr char kMagic[8] = {'V', 'B', 'I', 'S', '4', '0', '3', '2'};

constexpr uint32_t kDefaultPageSize = 4096;
constexpr uint32_t kMinPageSize = 1024;
constexpr uint32_t kMaxPageSize = 32768;

// The file header occupies the first kHeaderBytes of page 0.
constexpr uint32_t kHeaderBytes = 1024;

constexpr size_t kStoreIdBytes = 16;

// The four files, in the order their extensions are listed.
enum class FileRole : uint32_t { kData = 1, kIndex = 2, kFree = 3, kMeta = 4 };
constexpr const char *kExtensions[] = {".isd", ".isl", ".isf", ".ism"};

// Page kinds, stored at offset 4 of every page.
enum PageKind : uint16_t {
    kKindHeader = 0x4846,  // "FH"
    kKindLeaf = 0x464C,    // "LF": records, in .isd
    kKindBranch = 0x5242,  // "BR": B+tree index, in .isl
    kKindFree = 0x4C46,    // "FL": free page numbers, in .isf
    kKindSlot = 0x5443,    // "CT": commit slot, in .ism
};

// Page header, at the start of every page but the file headers.
//   0  u32 crc32c of the store id followed by bytes 4 .. page end
//   4  u16 kind
//   6  u16 entry count
//   8  u32 own page number
//  12  u32 lowest offset of the entry heap (leaf, branch)
//  16  u64 generation of the commit that wrote the page
//  24  u32 branch: level (1 = children are leaves)
//  28  u32 branch: leftmost child
constexpr uint32_t kPageHeaderBytes = 32;

// File header, page 0 of each file:
//   0  u32 crc32c of the store id followed by bytes 4 .. kHeaderBytes
//   4  u16 kKindHeader
//   8  8 bytes kMagic
//  16  u32 format version
//  20  u32 file role
//  24  u32 page size
//  28  16 bytes store id
//  44  u32 maximum key length
//  48  u16 layout text length, then the layout text (in the .ism header only)
constexpr uint32_t kHeaderLayoutOffset = 50;

// Commit slot, pages 1 and 2 of the .ism file; the valid one with the higher
// generation is the store's state. Header fields: kind, page number (1 or 2),
// generation. Then:
//  32  u32 state: kStateClean, or kStateOpen while a writer works
//  36  u32 tree height: 0 empty, 1 the root is a leaf, h > 1 a branch of level h - 1
//  40  u32 root page
//  44  u32 pages in .isd (header included)
//  48  u32 pages in .isl
//  52  u32 pages in .isf
//  56  u32 first page of the free list in .isf (0: none)
//  60  u32 pages of the free list
//  64  u32 free .isd pages listed
//  68  u32 free .isl pages listed
//  72  u64 record count
constexpr uint32_t kStateClean = 1;
constexpr uint32_t kStateOpen = 2;

inline uint16_t Load16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Load32(const uint8_t *p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Load64(const uint8_t *p) {
    return Load32(p) | static_cast<uint64_t>(Load32(p + 4)) << 32;
}
inline void Store16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Store64(uint8_t *p, uint64_t v) {
    Store32(p, static_cast<uint32_t>(v));
    Store32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace vbis
