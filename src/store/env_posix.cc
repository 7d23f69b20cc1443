// The Linux Env: POSIX file descriptors, flock(2) for the advisory lock (it
// conflicts between two descriptors of one process too, so a second writer in
// the same process is refused like one in another), renameat2 without replace.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "env.h"

namespace vbis {
namespace {

// The one place where errno becomes a Status.
Status PosixError(const std::string &context, int err) {
    std::string m = context + ": " + std::strerror(err);
    switch (err) {
        case ENOENT:
            return Status::NotFound(m);
        case EEXIST:
            return Status::Exists(m);
        case ENOSPC:
        case EDQUOT:
            return Status::NoSpace(m);
        case EWOULDBLOCK:
            return Status::InUse(m);
        case ENOMEM:
        case EMFILE:
        case ENFILE:
            return Status::NoResources(m);
        default:
            return Status::IoError(m);
    }
}

class PosixFile final : public File {
  public:
    PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }

    Status Read(uint64_t offset, void *buf, size_t n, size_t *got) override {
        auto *p = static_cast<char *>(buf);
        size_t done = 0;
        while (done < n) {
            ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                return PosixError(path_, errno);
            }
            if (r == 0) break;
            done += static_cast<size_t>(r);
        }
        *got = done;
        return Status();
    }

    Status Write(uint64_t offset, const void *buf, size_t n) override {
        const auto *p = static_cast<const char *>(buf);
        size_t done = 0;
        while (done < n) {
            ssize_t w = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return PosixError(path_, errno);
            }
            done += static_cast<size_t>(w);
        }
        return Status();
    }

    Status Sync() override {
        if (::fdatasync(fd_) != 0) return PosixError(path_, errno);
        return Status();
    }

    Status Size(uint64_t *size) override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return PosixError(path_, errno);
        *size = static_cast<uint64_t>(st.st_size);
        return Status();
    }

  private:
    std::string path_;
    int fd_;
};

class PosixLock final : public FileLock {
  public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { ::close(fd_); }  // closing the descriptor releases the flock

  private:
    int fd_;
};

std::string DirOf(const std::string &path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

class PosixEnv final : public Env {
  public:
    Status OpenFile(const std::string &path, OpenMode mode, std::unique_ptr<File> *file) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case OpenMode::kRead:
                flags |= O_RDONLY;
                break;
            case OpenMode::kReadWrite:
                flags |= O_RDWR;
                break;
            case OpenMode::kCreateNew:
                flags |= O_RDWR | O_CREAT | O_EXCL;
                break;
        }
        int fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0) return PosixError(path, errno);
        *file = std::make_unique<PosixFile>(path, fd);
        return Status();
    }

    bool FileExists(const std::string &path) override {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    }

    Status RemoveFile(const std::string &path) override {
        if (::unlink(path.c_str()) != 0) return PosixError(path, errno);
        return Status();
    }

    Status RenameFile(const std::string &from, const std::string &to) override {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return Status();
        }
        if (errno != EINVAL && errno != ENOSYS) return PosixError(from + " -> " + to, errno);
        // A file system without RENAME_NOREPLACE: a hard link refuses an
        // existing name just the same.
        if (::link(from.c_str(), to.c_str()) != 0) return PosixError(from + " -> " + to, errno);
        if (::unlink(from.c_str()) != 0) {
            int err = errno;
            ::unlink(to.c_str());
            return PosixError(from, err);
        }
        return Status();
    }

    Status SyncDirOf(const std::string &path) override {
        std::string dir = DirOf(path);
        int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return PosixError(dir, errno);
        int rc = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (rc != 0) return PosixError(dir, err);
        return Status();
    }

    Status LockFile(const std::string &path, bool exclusive,
                    std::unique_ptr<FileLock> *lock) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return PosixError(path, errno);
        if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) return Status::InUse(path + ": the store is in use");
            return PosixError(path, err);
        }
        *lock = std::make_unique<PosixLock>(fd);
        return Status();
    }

    void RandomBytes(void *buf, size_t n) override {
        auto *p = static_cast<unsigned char *>(buf);
        size_t done = 0;
        while (done < n) {
            ssize_t r = ::getrandom(p + done, n - done, 0);
            if (r <= 0) break;
            done += static_cast<size_t>(r);
        }
        if (done < n) {  // no getrandom: fall back to the C++ source
            std::random_device rd;
            for (; done < n; ++done) p[done] = static_cast<unsigned char>(rd());
        }
    }
};

}  // namespace

Env *Env::Default() {
    static PosixEnv env;
    return &env;
}

}  // namespace vbis
