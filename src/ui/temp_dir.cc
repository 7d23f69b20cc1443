#include "ui/temp_dir.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace posix {
namespace {

void Check(bool ok, const char *what, const std::filesystem::path &path) {
    if (ok) return;
    std::fprintf(stderr, "%s %s: %s\n", what, path.c_str(), std::strerror(errno));
    std::abort();
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velko-test-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp", pattern);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::AddFile(const std::string &name) const {
    const int fd = open((path_ / name).c_str(), O_CREAT | O_WRONLY | O_EXCL, 0644);
    Check(fd >= 0, "create", path_ / name);
    close(fd);
}

void TempDir::AddDirectory(const std::string &name) const {
    Check(mkdir((path_ / name).c_str(), 0755) == 0, "mkdir", path_ / name);
}

void TempDir::AddLink(const std::string &name, const std::string &target) const {
    Check(symlink(target.c_str(), (path_ / name).c_str()) == 0, "symlink", path_ / name);
}

void TempDir::AddPipe(const std::string &name) const {
    Check(mkfifo((path_ / name).c_str(), 0644) == 0, "mkfifo", path_ / name);
}

void TempDir::AddSocket(const std::string &name) const {
    const std::string path = path_ / name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    Check(path.size() < sizeof(address.sun_path), "socket path too long", path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    Check(fd >= 0, "socket", path);
    Check(bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0, "bind",
          path);
    close(fd);  // the socket file stays
}

}  // namespace posix
