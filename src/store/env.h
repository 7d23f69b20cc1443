// Every access of the store to the file system goes through Env, so that the
// engine holds no platform call of its own and tests can swap in an Env that
// fails on demand (fault_env.h). PosixEnv is the real one on Linux; another
// platform brings its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "status.h"

namespace vbis {

// An open file read and written at explicit offsets. Not thread-safe.
class File {
  public:
    virtual ~File() = default;
    // Reads up to n bytes at offset; *got < n only at the end of the file.
    virtual Status Read(uint64_t offset, void *buf, size_t n, size_t *got) = 0;
    // Writes all n bytes at offset, extending the file if needed.
    virtual Status Write(uint64_t offset, const void *buf, size_t n) = 0;
    // Makes the file's data and size durable.
    virtual Status Sync() = 0;
    virtual Status Size(uint64_t *size) = 0;
};

// An advisory lock; released when destroyed.
class FileLock {
  public:
    virtual ~FileLock() = default;
};

enum class OpenMode {
    kRead,       // existing file, reading only
    kReadWrite,  // existing file
    kCreateNew,  // a new file; fails with Exists if the name is taken
};

class Env {
  public:
    virtual ~Env() = default;

    virtual Status OpenFile(const std::string &path, OpenMode mode,
                            std::unique_ptr<File> *file) = 0;
    virtual bool FileExists(const std::string &path) = 0;
    virtual Status RemoveFile(const std::string &path) = 0;
    // Renames `from` to `to`; fails with Exists if `to` exists, never replacing it.
    virtual Status RenameFile(const std::string &from, const std::string &to) = 0;
    // Makes the creations, renames and removals in the directory of `path` durable.
    virtual Status SyncDirOf(const std::string &path) = 0;
    // Takes an advisory lock on the existing file `path`, shared or exclusive,
    // without waiting: InUse if a conflicting lock is held, in this process or
    // another one.
    virtual Status LockFile(const std::string &path, bool exclusive,
                            std::unique_ptr<FileLock> *lock) = 0;
    virtual void RandomBytes(void *buf, size_t n) = 0;

    // The platform's Env; lives for the whole process.
    static Env *Default();
};

}  // namespace vbis
