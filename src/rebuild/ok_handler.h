// What a click on "OK" runs: company discovery, then, when companies were
// found, the rest of the rebuild.
#pragma once

#include "rebuild/discovery.h"
#include "rebuild/platform.h"

namespace rebuild {

inline constexpr char kNoArchivesMessage[] = "Non risultano gli archivi necessari";
inline constexpr char kTooManyCompaniesMessage[] =
    "Sono state trovate più di 100 aziende: l'archivio velko non è stato modificato";

// The stages after discovery: building the registry and installing it.
class RegistryRebuild {
  public:
    virtual ~RegistryRebuild() = default;

    // Runs with 1 to 100 codes in `found`; stores are kept in found.ProgramDir.
    virtual void Run(const FoundCompanies &found) = 0;
};

class OkHandler {
  public:
    // Both must outlive the handler.
    OkHandler(Platform &platform, RegistryRebuild &registry_rebuild)
        : platform_(platform), registry_rebuild_(registry_rebuild) {}

    // One run of the handler. Returns to the idle window when nothing is to be
    // built, after telling the operator why. May run again from inside itself
    // (see DiscoverCompanies). Errors of the platform pass through untouched.
    void Run();

  private:
    Platform &platform_;
    RegistryRebuild &registry_rebuild_;
};

}  // namespace rebuild
