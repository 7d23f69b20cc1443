// A store's layout text, and the two forms of a record: the caller's block of
// field references (see vbis4032.h) and the encoded bytes kept in the store.
//
// Encoded record: the fields in layout order; a text as a 16-bit little-endian
// length and its bytes, an integer as 2 little-endian bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "status.h"

namespace vbis {

enum class FieldKind : char { kText = '$', kInt16 = '%' };

class Layout {
  public:
    // Parses `text` strictly; BadArgument for anything but the documented form.
    static Status Parse(std::string_view text, Layout *layout);

    const std::string &text() const { return text_; }
    const std::vector<FieldKind> &fields() const { return fields_; }
    size_t key_max() const { return key_max_; }
    // Bytes of the caller's record block.
    size_t block_size() const { return block_size_; }

    // Encodes the caller's block; BadArgument for a null text reference or a
    // text longer than 65535 bytes.
    Status Encode(const void *block, std::string *out) const;

    // Checks that `bytes` is a well-formed encoded record of this layout.
    bool Valid(std::string_view bytes) const;

    // Decodes a record checked by Valid into `block`: integers in place, each
    // text copied to `texts` (NUL-terminated) and referenced from the block.
    // The references stay valid until `texts` changes.
    void Decode(std::string_view bytes, void *block, std::vector<std::string> *texts) const;

  private:
    std::string text_;
    std::vector<FieldKind> fields_;
    size_t key_max_ = 0;
    size_t block_size_ = 0;
};

}  // namespace vbis
