// The codes are compared byte for byte: letter case counts, and "ad" and "AD"
// are two companies.
#include "rebuild/discovery.h"

#include "rebuild/utf8.h"

namespace rebuild {

FoundCompanies DiscoverCompanies(Platform &platform) {
    FoundCompanies found;
    found.ProgramDir = platform.file_system.ExecutableDirectory();
    platform.File1.SetDirectory(found.ProgramDir);
    platform.File1.SetPattern(kArchivePattern);
    platform.ui.PumpEvents();

    const std::int16_t count = platform.File1.Count();
    for (std::int16_t i = 0; i < count; ++i) {
        platform.File1.Select(i);
        const std::string code = Utf8Characters(platform.File1.SelectedName(), 4, 2);
        bool known = false;
        for (std::int16_t slot = 1; slot <= found.FoundCount && !known; ++slot) {
            known = found.FoundCodes[slot] == code;
        }
        if (known) continue;
        if (found.FoundCount == kMaxFoundCount) {
            found.TooManyCompanies = true;
            break;
        }
        ++found.FoundCount;
        found.FoundCodes[found.FoundCount] = code;
    }
    return found;
}

}  // namespace rebuild
