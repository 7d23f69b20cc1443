// The store library seam on dlopen and dlsym. The reasons given in errors are
// the loader's own (dlerror), which name the file and the missing symbol.
#include "ui/posix_store_library.h"

#include <dlfcn.h>

#include "rebuild/platform_error.h"

namespace posix {

namespace {

std::string LoaderReason() {
    const char *reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

}  // namespace

PosixStoreLibrary::~PosixStoreLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

void PosixStoreLibrary::Load(const std::string &path) {
    if (handle_ != nullptr) {
        throw rebuild::PlatformError("store library " + path_ + " is already loaded; cannot load " +
                                     path);
    }
    // RTLD_NOW: a library with unresolved dependencies fails here, with its
    // reason, rather than at the first store call that happens to need them.
    // RTLD_LOCAL: its symbols stay its own.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw rebuild::PlatformError("cannot load the store library " + path + ": " +
                                     LoaderReason());
    }
    handle_ = handle;
    path_ = path;
}

rebuild::StoreOperation PosixStoreLibrary::Lookup(const std::string &name) {
    if (handle_ == nullptr) {
        throw rebuild::PlatformError("cannot find the store operation " + name +
                                     ": no library loaded");
    }
    dlerror();  // clear any earlier error, so the one read below is ours
    void *address = dlsym(handle_, name.c_str());
    if (address == nullptr) {
        throw rebuild::PlatformError("cannot find the store operation " + name + " in " + path_ +
                                     ": " + LoaderReason());
    }
    // POSIX guarantees that a function's address survives this conversion.
    return reinterpret_cast<rebuild::StoreOperation>(address);
}

}  // namespace posix
