#include "ui/posix_file_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "rebuild/platform_error.h"
#include "rebuild/utf8.h"
#include "ui/file_names.h"

namespace posix {
namespace {

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

[[noreturn]] void ThrowListingError(const std::string &path, int error) {
    throw rebuild::PlatformError("Impossibile leggere la cartella \"" + path +
                                 "\": " + std::strerror(error));
}

}  // namespace

void PosixFileList::SetDirectory(const std::string &path) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) ThrowListingError(path, errno);

    std::vector<File> files;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) ThrowListingError(path, errno);
            break;
        }
        const std::string name = entry->d_name;
        if (name.starts_with('.')) continue;  // hidden, "." and ".." among them
        struct stat status;
        // Following links drops broken ones; an entry that vanished or cannot
        // be examined is not a file the operator could use either.
        if (fstatat(dirfd(dir.get()), name.c_str(), &status, 0) != 0) continue;
        if (!S_ISREG(status.st_mode)) continue;
        const std::u32string characters = DecodeFileName(name);
        files.push_back({rebuild::EncodeUtf8(characters), FoldCase(characters)});
    }
    // Ties between names equal but for letter case go by their bytes, so the
    // order never depends on the order of the directory's entries.
    std::sort(files.begin(), files.end(), [](const File &a, const File &b) {
        return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
    });
    files_ = std::move(files);
    Filter();
}

void PosixFileList::SetPattern(const std::string &pattern) {
    folded_pattern_ = FoldCase(DecodeFileName(pattern));
    Filter();
}

void PosixFileList::Filter() {
    listed_.clear();
    for (const File &file : files_) {
        if (MatchesFolded(file.folded, folded_pattern_)) listed_.push_back(file.name);
    }
    selected_ = -1;
}

std::int16_t PosixFileList::Count() {
    if (listed_.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
        throw rebuild::PlatformError("Troppi file nella cartella: " +
                                     std::to_string(listed_.size()));
    }
    return static_cast<std::int16_t>(listed_.size());
}

void PosixFileList::Select(std::int16_t index) {
    if (index < -1 || (index >= 0 && static_cast<std::size_t>(index) >= listed_.size())) {
        throw rebuild::PlatformError("Indice dell'elenco dei file non valido: " +
                                     std::to_string(index));
    }
    selected_ = index;
}

std::string PosixFileList::SelectedName() {
    return selected_ < 0 ? std::string() : listed_[static_cast<std::size_t>(selected_)];
}

}  // namespace posix
