#include "node.h"

#include <vector>

#include "layout.h"

namespace vbis {

int Node::LowerBound(std::string_view key, bool *found) const {
    int lo = 0, hi = count();
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (Key(mid) < key) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    *found = lo < count() && Key(lo) == key;
    return lo;
}

int Node::ChildIndex(std::string_view key) const {
    // The number of separators not greater than the key.
    int lo = 0, hi = count();
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (Key(mid) <= key) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

bool Node::Insert(int i, std::string_view entry) {
    uint32_t n = count();
    uint32_t slots_end = kPageHeaderBytes + 2 * (n + 1);
    if (heap() < slots_end || heap() - slots_end < entry.size()) {
        Compact();
        if (heap() < slots_end || heap() - slots_end < entry.size()) return false;
    }
    uint32_t at = heap() - static_cast<uint32_t>(entry.size());
    std::memcpy(p_ + at, entry.data(), entry.size());
    uint8_t *slots = p_ + kPageHeaderBytes;
    std::memmove(slots + 2 * (i + 1), slots + 2 * i, 2 * (n - i));
    Store16(slots + 2 * i, static_cast<uint16_t>(at));
    Store16(p_ + 6, static_cast<uint16_t>(n + 1));
    Store32(p_ + 12, at);
    return true;
}

void Node::Remove(int i) {
    uint32_t n = count();
    uint8_t *slots = p_ + kPageHeaderBytes;
    std::memmove(slots + 2 * i, slots + 2 * (i + 1), 2 * (n - i - 1));
    Store16(p_ + 6, static_cast<uint16_t>(n - 1));
}

void Node::Clear() {
    Store16(p_ + 6, 0);
    Store32(p_ + 12, size_);
}

void Node::Compact() {
    std::vector<std::string> entries;
    entries.reserve(count());
    for (int i = 0; i < count(); ++i) entries.emplace_back(Entry(i));
    uint32_t at = size_;
    for (size_t i = 0; i < entries.size(); ++i) {
        at -= static_cast<uint32_t>(entries[i].size());
        std::memcpy(p_ + at, entries[i].data(), entries[i].size());
        Store16(p_ + kPageHeaderBytes + 2 * i, static_cast<uint16_t>(at));
    }
    Store32(p_ + 12, at);
}

std::string Node::Check(size_t key_max, const Layout *layout) const {
    uint32_t n = count();
    uint32_t slots_end = kPageHeaderBytes + 2 * n;
    if (n == 0) return "empty tree page";
    if (slots_end > size_ || heap() < slots_end || heap() > size_) return "bad entry count or heap";
    if (!leaf_ && (level() < 1 || level() > 32)) return "bad branch level";
    std::string_view previous;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t off = SlotOffset(static_cast<int>(i));
        if (off < heap() || off >= size_) return "entry offset out of bounds";
        const uint8_t *e = p_ + off;
        uint32_t room = size_ - off;
        uint32_t klen = e[0];
        if (klen < 1 || klen > key_max) return "bad key length";
        uint32_t fixed = leaf_ ? 3 + klen : 5 + klen;
        if (fixed > room) return "entry runs past the page";
        if (leaf_) {
            uint32_t vlen = Load16(e + 1 + klen);
            if (vlen > room - fixed) return "record runs past the page";
            if (layout != nullptr && !layout->Valid(Value(static_cast<int>(i)))) {
                return "record does not match the layout";
            }
        }
        std::string_view key = Key(static_cast<int>(i));
        if (i > 0 && !(previous < key)) return "keys out of order";
        previous = key;
    }
    return {};
}

std::string Node::LeafEntry(std::string_view key, std::string_view record) {
    std::string e;
    e.reserve(3 + key.size() + record.size());
    e.push_back(static_cast<char>(key.size()));
    e.append(key);
    e.push_back(static_cast<char>(record.size() & 0xFF));
    e.push_back(static_cast<char>(record.size() >> 8));
    e.append(record);
    return e;
}

std::string Node::BranchEntry(std::string_view key, uint32_t child) {
    std::string e;
    e.push_back(static_cast<char>(key.size()));
    e.append(key);
    uint8_t c[4];
    Store32(c, child);
    e.append(reinterpret_cast<const char *>(c), 4);
    return e;
}

}  // namespace vbis
