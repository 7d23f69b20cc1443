#include "rebuild/registry_rebuild.h"

#include "rebuild/registry_build.h"
#include "rebuild/registry_installation.h"

namespace rebuild {

void RegistryRebuilder::Run(const FoundCompanies &found) {
    if (!module1_) module1_.emplace(found.ProgramDir, make_library_());
    if (!BuildRegistry(*module1_, platform_.ui, found)) EndWithRegistryUnchanged(platform_.ui);
    InstallRegistry(*module1_, platform_, found.ProgramDir);
}

}  // namespace rebuild
