#include "layout.h"

#include <cstring>

#include "vbis4032.h"

namespace vbis {

Status Layout::Parse(std::string_view text, Layout *layout) {
    auto bad = [&](const char *why) {
        return Status::BadArgument("layout \"" + std::string(text) + "\": " + why);
    };
    Layout l;
    l.text_ = std::string(text);
    l.key_max_ = VMX_KEY_MAX;
    size_t i = 0;
    if (i < text.size() && text[i] == 'x') {
        ++i;
        if (i < text.size() && text[i] == '0') return bad("the key length has a leading zero");
        size_t value = 0, digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + static_cast<size_t>(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || value < 1 || value > VMX_KEY_MAX) {
            return bad("the prefix must be \"x\" and a key length from 1 to 255");
        }
        l.key_max_ = value;
    }
    for (;;) {
        if (i >= text.size()) return bad("an item is missing");
        char c = text[i++];
        if (c != '$' && c != '%') return bad("items must be \"$\" or \"%\"");
        l.fields_.push_back(static_cast<FieldKind>(c));
        l.block_size_ += c == '$' ? sizeof(const char *) : sizeof(int16_t);
        if (l.fields_.size() > 255) return bad("more than 255 items");
        if (i == text.size()) break;
        if (text[i++] != ',') return bad("items must be separated by commas");
    }
    *layout = std::move(l);
    return Status();
}

Status Layout::Encode(const void *block, std::string *out) const {
    const auto *p = static_cast<const unsigned char *>(block);
    out->clear();
    size_t offset = 0;
    for (size_t f = 0; f < fields_.size(); ++f) {
        if (fields_[f] == FieldKind::kText) {
            const char *s;
            std::memcpy(&s, p + offset, sizeof s);
            offset += sizeof s;
            if (s == nullptr) {
                return Status::BadArgument("record field " + std::to_string(f + 1) +
                                           ": the text reference is null");
            }
            size_t n = std::strlen(s);
            if (n > 0xFFFF) {
                return Status::BadArgument("record field " + std::to_string(f + 1) +
                                           ": text longer than 65535 bytes");
            }
            out->push_back(static_cast<char>(n & 0xFF));
            out->push_back(static_cast<char>(n >> 8));
            out->append(s, n);
        } else {
            int16_t v;
            std::memcpy(&v, p + offset, sizeof v);
            offset += sizeof v;
            auto u = static_cast<uint16_t>(v);
            out->push_back(static_cast<char>(u & 0xFF));
            out->push_back(static_cast<char>(u >> 8));
        }
    }
    return Status();
}

bool Layout::Valid(std::string_view bytes) const {
    size_t pos = 0;
    for (FieldKind kind : fields_) {
        if (bytes.size() - pos < 2) return false;
        size_t n = static_cast<unsigned char>(bytes[pos]) |
                   static_cast<size_t>(static_cast<unsigned char>(bytes[pos + 1])) << 8;
        pos += 2;
        if (kind == FieldKind::kText) {
            if (bytes.size() - pos < n) return false;
            pos += n;
        }
    }
    return pos == bytes.size();
}

void Layout::Decode(std::string_view bytes, void *block, std::vector<std::string> *texts) const {
    auto *p = static_cast<unsigned char *>(block);
    size_t text_count = 0;
    for (FieldKind kind : fields_) text_count += kind == FieldKind::kText;
    texts->assign(text_count, std::string());
    size_t pos = 0, offset = 0, t = 0;
    for (FieldKind kind : fields_) {
        uint16_t u = static_cast<uint16_t>(static_cast<unsigned char>(bytes[pos]) |
                                           static_cast<unsigned char>(bytes[pos + 1]) << 8);
        pos += 2;
        if (kind == FieldKind::kText) {
            std::string &s = (*texts)[t++];
            s.assign(bytes.data() + pos, u);
            pos += u;
            const char *ref = s.c_str();
            std::memcpy(p + offset, &ref, sizeof ref);
            offset += sizeof ref;
        } else {
            auto v = static_cast<int16_t>(u);
            std::memcpy(p + offset, &v, sizeof v);
            offset += sizeof v;
        }
    }
}

}  // namespace vbis
