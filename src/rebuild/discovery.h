// Company discovery: the first stage of the rebuild. It lists the company
// archives in the program's own directory and collects the distinct company
// codes their names carry. It reads names only, and writes nothing.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "rebuild/platform.h"

namespace rebuild {

// A company archive is named by six characters, "ct" and ".ISD"; the fifth and
// sixth characters are the company's code.
inline constexpr char kArchivePattern[] = "??????ct.ISD";

// The registry build takes at most this many companies.
inline constexpr std::int16_t kMaxFoundCount = 100;

struct FoundCompanies {
    // The directory that was listed; the later stages keep their stores there.
    std::string ProgramDir;
    // The distinct codes in the order the listing first shows them, in slots 1
    // to FoundCount; slot 0 is never used and the slots above stay empty.
    std::array<std::string, kMaxFoundCount + 1> FoundCodes;
    std::int16_t FoundCount = 0;
    // A distinct code beyond the 100th was met. FoundCodes then holds the
    // first 100 and the listing was not read further: a registry built from
    // them would lose companies, so it must not be built.
    bool TooManyCompanies = false;
};

// Lists the program's directory through File1 and collects the codes. Runs one
// pass of the event loop after setting up the listing, so a click pending then
// is handled there: "Annulla" ends the program inside this call, "OK" runs the
// whole OK handler again inside it, and File1 may have been listed anew by the
// time this call reads it. Errors of the platform pass through.
FoundCompanies DiscoverCompanies(Platform &platform);

}  // namespace rebuild
