// The fixed table of company codes that every registry build writes an empty
// placeholder record for, before the companies actually found. The order is
// the order of those writes; the table is constant and never searched.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace rebuild {

inline constexpr std::size_t KnownCodeCount = 379;

// "YY", the test company, first; then the rows A to Z, ascending. Each entry
// is two upper-case letters.
extern const std::array<std::string_view, KnownCodeCount> KnownCodes;

}  // namespace rebuild
