#include "rebuild/ok_handler.h"

#include <optional>

namespace rebuild {

void OkHandler::Run() {
    const FoundCompanies found = DiscoverCompanies(platform_);
    if (found.TooManyCompanies) {
        platform_.ui.ShowMessage(kTooManyCompaniesMessage, MessageStyle::kWarning, std::nullopt);
        return;
    }
    if (found.FoundCount == 0) {
        platform_.ui.ShowMessage(kNoArchivesMessage, MessageStyle::kWarning, std::nullopt);
        return;
    }
    registry_rebuild_.Run(found);
}

}  // namespace rebuild
