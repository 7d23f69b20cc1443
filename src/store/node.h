// The two kinds of tree page, both slotted: after the page header an array of
// 16-bit entry offsets in key order, and the entries packed from the end of the
// page downwards.
//   leaf entry (.isd):   u8 key length, key, u16 record length, record
//   branch entry (.isl): u8 key length, key, u32 child page
// A branch with n entries has n + 1 children: the leftmost (in the header),
// then one per entry; entry i's child holds the keys from its key up to the
// next entry's key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format.h"

namespace vbis {

class Layout;

class Node {
  public:
    Node(uint8_t *page, uint32_t page_size, bool leaf) : p_(page), size_(page_size), leaf_(leaf) {}

    bool leaf() const { return leaf_; }
    uint16_t count() const { return Load16(p_ + 6); }
    uint32_t level() const { return Load32(p_ + 24); }

    std::string_view Key(int i) const {
        const uint8_t *e = p_ + SlotOffset(i);
        return {reinterpret_cast<const char *>(e + 1), e[0]};
    }
    std::string_view Value(int i) const {  // leaf only
        const uint8_t *e = p_ + SlotOffset(i);
        const uint8_t *v = e + 1 + e[0];
        return {reinterpret_cast<const char *>(v + 2), Load16(v)};
    }
    std::string_view Entry(int i) const {
        const uint8_t *e = p_ + SlotOffset(i);
        return {reinterpret_cast<const char *>(e), EntrySize(e)};
    }

    // Children of a branch, 0 to count().
    uint32_t Child(int i) const { return i == 0 ? Load32(p_ + 28) : Load32(ChildField(i - 1)); }
    void SetChild(int i, uint32_t child) {
        if (i == 0) {
            Store32(p_ + 28, child);
        } else {
            Store32(ChildField(i - 1), child);
        }
    }

    // The first entry whose key is not less than `key`; *found if equal.
    int LowerBound(std::string_view key, bool *found) const;
    // The child of a branch whose range holds `key`.
    int ChildIndex(std::string_view key) const;

    // Inserts the encoded entry at index i, compacting the page if needed;
    // false if it does not fit even then.
    bool Insert(int i, std::string_view entry);
    void Remove(int i);
    // Empties the page, keeping its header fields other than count and heap.
    void Clear();

    // Checks a page read from disk before anything else looks at it: offsets
    // and lengths in bounds, keys of 1 to key_max bytes in strictly ascending
    // order, and, given a layout, records that match it. Returns an empty
    // text when sound.
    std::string Check(size_t key_max, const Layout *layout) const;

    static std::string LeafEntry(std::string_view key, std::string_view record);
    static std::string BranchEntry(std::string_view key, uint32_t child);

  private:
    uint16_t SlotOffset(int i) const { return Load16(p_ + kPageHeaderBytes + 2 * i); }
    uint8_t *ChildField(int entry) const {
        uint8_t *e = p_ + SlotOffset(entry);
        return e + 1 + e[0];
    }
    size_t EntrySize(const uint8_t *e) const {
        return leaf_ ? 3u + e[0] + Load16(e + 1 + e[0]) : 5u + e[0];
    }
    uint32_t heap() const { return Load32(p_ + 12); }
    void Compact();

    uint8_t *p_;
    uint32_t size_;
    bool leaf_;
};

}  // namespace vbis
