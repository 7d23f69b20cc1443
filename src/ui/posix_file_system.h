// The file system of this system, as the rebuild reaches it.
#pragma once

#include <string>

#include "rebuild/platform.h"

namespace posix {

class PosixFileSystem final : public rebuild::FileSystem {
  public:
    // Read from the kernel's record of the running executable, so it holds
    // whatever the current directory and however the program was started
    // (through a link, or a relative path). Throws rebuild::PlatformError when
    // that record cannot be read.
    std::string ExecutableDirectory() override;
    // Copies through a descriptor of the destination, syncs it, and removes
    // it again if anything fails.
    void CopyFile(const std::string &source, const std::string &destination) override;
    bool FileExists(const std::string &path) override;
};

}  // namespace posix
