#include "ui/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error a late write may only show here.
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

}  // namespace

void PosixFileSystem::CopyFile(const std::string &source, const std::string &destination) {
    auto fail = [&](const std::string &what, int err) {
        throw rebuild::PlatformError("Impossibile copiare " + source + " in " + destination + " (" +
                                     what + "): " + std::strerror(err));
    };
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) fail("apertura", errno);
    Descriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0) fail("creazione", errno);

    auto fail_and_remove = [&](const std::string &what, int err) {
        ::unlink(destination.c_str());
        fail(what, err);
    };
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            fail_and_remove("lettura", errno);
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                ::write(out.get(), buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                fail_and_remove("scrittura", errno);
            }
            done += put;
        }
    }
    if (::fsync(out.get()) != 0) fail_and_remove("sincronizzazione", errno);
    if (out.Close() != 0) fail_and_remove("chiusura", errno);
}

bool PosixFileSystem::FileExists(const std::string &path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace posix
