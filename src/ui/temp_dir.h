// A fresh directory for one test, removed with everything in it afterwards,
// and helpers to lay out entries of every kind in it.
#pragma once

#include <filesystem>
#include <string>

namespace posix {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

    // Each creates the entry `name` in the directory; failures abort the test
    // program, since nothing can be checked without the layout.
    void AddFile(const std::string &name) const;
    void AddDirectory(const std::string &name) const;
    void AddLink(const std::string &name, const std::string &target) const;
    void AddPipe(const std::string &name) const;
    void AddSocket(const std::string &name) const;

  private:
    std::filesystem::path path_;
};

}  // namespace posix
