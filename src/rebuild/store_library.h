// The seam through which the program reaches the store library loaded at run
// time: load it from a file, then find its operations by exported name. The
// real implementation sits on the platform's dynamic loader; tests put in a
// fake that hands out functions of their own and counts what was asked for.
#pragma once

#include <string>

namespace rebuild {

// The address of an exported operation, before it is converted to its real
// type. Any function pointer type converts back to its own type exactly.
using StoreOperation = void (*)();

class StoreLibrary {
  public:
    virtual ~StoreLibrary() = default;

    // Loads the library file at `path` and keeps it loaded for the lifetime
    // of this object. Called at most once. Throws PlatformError, with the
    // reason, if the file cannot be loaded.
    virtual void Load(const std::string &path) = 0;

    // The operation exported under `name` by the loaded library; never null.
    // Throws PlatformError, with the reason, if the library has no such
    // operation or none is loaded.
    virtual StoreOperation Lookup(const std::string &name) = 0;
};

}  // namespace rebuild
