// An Env for tests that passes every call to the real one, except that the
// Nth call that can fail (open, read, write, sync, size, remove, rename,
// directory sync) fails with an I/O error or a full disk. A failing write
// writes the first half of its bytes first, as a torn write would.
#pragma once

#include "env.h"

namespace vbis::test {

enum class Fault { kIo, kNoSpace };

class FaultEnv final : public Env {
  public:
    // fail_at: the 1-based number of the call to fail; 0 never fails.
    FaultEnv(long fail_at, Fault fault) : base_(Env::Default()), fail_at_(fail_at), fault_(fault) {}

    // Whether the failure has been injected.
    bool fired() const { return fired_; }
    long calls() const { return calls_; }

    // Counts a call; true if this one is to fail.
    bool Trip();
    Status Failure(const std::string &what) const;

    Status OpenFile(const std::string &path, OpenMode mode, std::unique_ptr<File> *file) override;
    bool FileExists(const std::string &path) override { return base_->FileExists(path); }
    Status RemoveFile(const std::string &path) override;
    Status RenameFile(const std::string &from, const std::string &to) override;
    Status SyncDirOf(const std::string &path) override;
    Status LockFile(const std::string &path, bool exclusive,
                    std::unique_ptr<FileLock> *lock) override {
        return base_->LockFile(path, exclusive, lock);
    }
    void RandomBytes(void *buf, size_t n) override { base_->RandomBytes(buf, n); }

  private:
    Env *base_;
    long fail_at_;
    Fault fault_;
    long calls_ = 0;
    bool fired_ = false;
};

}  // namespace vbis::test
