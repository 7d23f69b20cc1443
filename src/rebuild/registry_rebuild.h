// The stages after discovery: the registry build, then, if the build is
// complete, the installation. Either way the program ends.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "rebuild/module1.h"
#include "rebuild/ok_handler.h"
#include "rebuild/store_library.h"

namespace rebuild {

class RegistryRebuilder final : public RegistryRebuild {
  public:
    using LibraryFactory = std::function<std::unique_ptr<StoreLibrary>()>;

    // `platform` must outlive the rebuilder; `make_library` gives the loader
    // of the store library, used once.
    RegistryRebuilder(Platform &platform, LibraryFactory make_library)
        : platform_(platform), make_library_(std::move(make_library)) {}

    // Builds and installs; never returns, since both end the program.
    void Run(const FoundCompanies &found) override;

    // The store calls' module, once a run has made it; for tests.
    Module1 *module1() { return module1_ ? &*module1_ : nullptr; }

  private:
    Platform &platform_;
    LibraryFactory make_library_;
    // The library is loaded from the program's directory, known once the
    // first run has read it; the module then stays for the process.
    std::optional<Module1> module1_;
};

}  // namespace rebuild
