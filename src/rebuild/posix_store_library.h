// The store library seam on the POSIX dynamic loader (dlopen, dlsym). The only
// place of the rebuild that touches the loader.
#pragma once

#include <string>

#include "rebuild/store_library.h"

namespace rebuild {

class PosixStoreLibrary : public StoreLibrary {
  public:
    PosixStoreLibrary() = default;
    PosixStoreLibrary(const PosixStoreLibrary &) = delete;
    PosixStoreLibrary &operator=(const PosixStoreLibrary &) = delete;
    // Unloads the library: no operation found through this object may be
    // called afterwards.
    ~PosixStoreLibrary() override;

    void Load(const std::string &path) override;
    StoreOperation Lookup(const std::string &name) override;

  private:
    std::string path_;
    void *handle_ = nullptr;
};

}  // namespace rebuild
