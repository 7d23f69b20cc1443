#include "rebuild/fake_platform.h"

#include <utility>

#include "rebuild/platform_error.h"

namespace rebuild {

void FakeUi::ShowMessage(const std::string &text, MessageStyle style,
                         const std::optional<std::string> &title) {
    log_.push_back("ShowMessage " + text);
    messages.push_back({text, style, title});
}

void FakeUi::PumpEvents() {
    log_.push_back("PumpEvents");
    const auto due = std::exchange(pending, {});
    for (const auto &action : due) action();
}

void FakeUi::EndProgram() {
    log_.push_back("EndProgram");
    throw ProgramEnded{};
}

std::string FakeFileSystem::ExecutableDirectory() {
    log_.push_back("ExecutableDirectory");
    return executable_directory;
}

void FakeFileSystem::CopyFile(const std::string &source, const std::string &destination) {
    log_.push_back("CopyFile " + source + " " + destination);
    if (failing_copies.count(++copies) != 0) throw PlatformError("copy failed");
    auto it = files.find(source);
    if (it == files.end()) throw PlatformError(source + ": no such file");
    files[destination] = it->second;
}

bool FakeFileSystem::FileExists(const std::string &path) {
    return files.count(path) != 0;
}

void FakeFileList::SetDirectory(const std::string &path) {
    log_.push_back("SetDirectory " + path);
    if (directory_error) throw PlatformError(*directory_error);
    selected_ = -1;
}

void FakeFileList::SetPattern(const std::string &pattern) {
    log_.push_back("SetPattern " + pattern);
    selected_ = -1;
}

std::int16_t FakeFileList::Count() {
    log_.push_back("Count");
    return static_cast<std::int16_t>(names.size());
}

void FakeFileList::Select(std::int16_t index) {
    log_.push_back("Select " + std::to_string(index));
    if (index < -1 || index >= static_cast<std::int16_t>(names.size())) {
        throw PlatformError("index out of range");
    }
    selected_ = index;
}

std::string FakeFileList::SelectedName() {
    log_.push_back("SelectedName");
    return selected_ < 0 ? std::string() : names[static_cast<std::size_t>(selected_)];
}

}  // namespace rebuild
