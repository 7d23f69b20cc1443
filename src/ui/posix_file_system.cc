#include "ui/posix_file_system.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "rebuild/platform_error.h"

namespace posix {

std::string PosixFileSystem::ExecutableDirectory() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            throw rebuild::PlatformError(
                std::string("Impossibile trovare la cartella del programma: ") +
                std::strerror(errno));
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            // The file name may carry a " (deleted)" mark; the directory never does.
            const std::size_t slash = path.rfind('/');
            return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);  // the path may have been cut: read it again
    }
}

}  // namespace posix
