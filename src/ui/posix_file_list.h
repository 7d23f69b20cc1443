// The file list over a real directory of this system.
//
// What Windows-style listings call attributes maps here as follows: a hidden
// file is one whose name starts with "."; what the list leaves out as system
// files is anything that is not a regular file (sockets, pipes, devices);
// read-only and archive files are ordinary files, listed whatever their
// permission bits. Links are followed: a link to a regular file is listed
// under the link's name, a broken link or a link to a directory is not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rebuild/platform.h"

namespace posix {

class PosixFileList final : public rebuild::FileList {
  public:
    // Reads the directory's entries once; SetPattern filters what was read.
    // On failure throws rebuild::PlatformError naming the directory and the
    // cause, and keeps the listing it had.
    void SetDirectory(const std::string &path) override;
    void SetPattern(const std::string &pattern) override;
    // Throws rebuild::PlatformError when more names match than it can count.
    std::int16_t Count() override;
    void Select(std::int16_t index) override;
    std::string SelectedName() override;

  private:
    struct File {
        std::string name;       // UTF-8
        std::u32string folded;  // the decoded name, case folded
    };

    void Filter();

    std::vector<File> files_;  // the directory's listable files, sorted
    std::u32string folded_pattern_ = U"*";
    std::vector<std::string> listed_;  // names of files_ matching the pattern
    std::int16_t selected_ = -1;
};

}  // namespace posix
