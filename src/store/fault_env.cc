#include "fault_env.h"

namespace vbis::test {
namespace {

class FaultFile final : public File {
  public:
    FaultFile(FaultEnv *env, std::unique_ptr<File> base, std::string path)
        : env_(env), base_(std::move(base)), path_(std::move(path)) {}

    Status Read(uint64_t offset, void *buf, size_t n, size_t *got) override {
        if (env_->Trip()) return env_->Failure("read " + path_);
        return base_->Read(offset, buf, n, got);
    }
    Status Write(uint64_t offset, const void *buf, size_t n) override {
        if (env_->Trip()) {
            base_->Write(offset, buf, n / 2);  // torn
            return env_->Failure("write " + path_);
        }
        return base_->Write(offset, buf, n);
    }
    Status Sync() override {
        if (env_->Trip()) return env_->Failure("sync " + path_);
        return base_->Sync();
    }
    Status Size(uint64_t *size) override {
        if (env_->Trip()) return env_->Failure("size " + path_);
        return base_->Size(size);
    }

  private:
    FaultEnv *env_;
    std::unique_ptr<File> base_;
    std::string path_;
};

}  // namespace

bool FaultEnv::Trip() {
    ++calls_;
    if (calls_ == fail_at_) {
        fired_ = true;
        return true;
    }
    return false;
}

Status FaultEnv::Failure(const std::string &what) const {
    return fault_ == Fault::kIo ? Status::IoError(what + ": injected I/O error")
                                : Status::NoSpace(what + ": injected full disk");
}

Status FaultEnv::OpenFile(const std::string &path, OpenMode mode, std::unique_ptr<File> *file) {
    if (Trip()) return Failure("open " + path);
    std::unique_ptr<File> base;
    VBIS_RETURN_IF_ERROR(base_->OpenFile(path, mode, &base));
    *file = std::make_unique<FaultFile>(this, std::move(base), path);
    return Status();
}

Status FaultEnv::RemoveFile(const std::string &path) {
    if (Trip()) return Failure("remove " + path);
    return base_->RemoveFile(path);
}

Status FaultEnv::RenameFile(const std::string &from, const std::string &to) {
    if (Trip()) return Failure("rename " + from);
    return base_->RenameFile(from, to);
}

Status FaultEnv::SyncDirOf(const std::string &path) {
    if (Trip()) return Failure("sync directory of " + path);
    return base_->SyncDirOf(path);
}

}  // namespace vbis::test
