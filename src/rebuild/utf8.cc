// Decoding follows the well-formed byte sequences of the Unicode standard
// (table 3-7), so every text accepted here encodes back to the same bytes.
#include "rebuild/utf8.h"

#include <cstdint>

namespace rebuild {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The length of the well-formed sequence at the start of `text` and its code
// point, or 0 when the bytes there are not one.
std::size_t DecodeOne(std::string_view text, char32_t &code_point) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    }
    std::size_t length;
    std::uint8_t low = 0x80;  // bounds of the second byte, narrower for some leads
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code_point = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code_point = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t b = byte(i);
        const std::uint8_t min = i == 1 ? low : 0x80;
        const std::uint8_t max = i == 1 ? high : 0xBF;
        if (b < min || b > max) return 0;
        code_point = (code_point << 6) | (b & 0x3F);
    }
    return length;
}

}  // namespace

std::optional<std::u32string> DecodeUtf8(std::string_view text) {
    std::u32string decoded;
    decoded.reserve(text.size());
    while (!text.empty()) {
        char32_t code_point;
        const std::size_t length = DecodeOne(text, code_point);
        if (length == 0) return std::nullopt;
        decoded.push_back(code_point);
        text.remove_prefix(length);
    }
    return decoded;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string encoded;
    encoded.reserve(text.size());
    for (char32_t c : text) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
        if (c < 0x80) {
            encoded.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            encoded.push_back(static_cast<char>(0xC0 | (c >> 6)));
            encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            encoded.push_back(static_cast<char>(0xE0 | (c >> 12)));
            encoded.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            encoded.push_back(static_cast<char>(0xF0 | (c >> 18)));
            encoded.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            encoded.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return encoded;
}

std::string Utf8Characters(std::string_view text, std::size_t first, std::size_t count) {
    std::size_t start = text.size();
    std::size_t end = text.size();
    std::size_t offset = 0;
    for (std::size_t index = 0; offset < text.size(); ++index) {
        if (index == first) start = offset;
        if (index == first + count) {
            end = offset;
            break;
        }
        char32_t ignored;
        const std::size_t length = DecodeOne(text.substr(offset), ignored);
        offset += length == 0 ? 1 : length;
    }
    return std::string(text.substr(start, end - start));
}

}  // namespace rebuild
