// Fakes of the platform for tests of the rebuild. They share one call log, so a
// test can check the order in which the rebuild reaches the platform, and the
// UI fake runs scripted clicks inside its pump pass, as the real event loop
// would run pending clicks there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "rebuild/platform.h"

namespace rebuild {

// Thrown by FakeUi::EndProgram: the fake cannot end the process, so it unwinds
// the rebuild instead, which is just as final for the code under test.
struct ProgramEnded {};

using CallLog = std::vector<std::string>;

struct ShownMessage {
    std::string text;
    MessageStyle style;
    std::optional<std::string> title;

    bool operator==(const ShownMessage &) const = default;
};

class FakeUi final : public Ui {
  public:
    explicit FakeUi(CallLog &log) : log_(log) {}

    void ShowMessage(const std::string &text, MessageStyle style,
                     const std::optional<std::string> &title) override;
    // Runs the actions in `pending` at the time of the call, in order; actions
    // added meanwhile wait for the next pass.
    void PumpEvents() override;
    [[noreturn]] void EndProgram() override;

    std::vector<ShownMessage> messages;
    std::vector<std::function<void()>> pending;

  private:
    CallLog &log_;
};

class FakeFileSystem final : public FileSystem {
  public:
    explicit FakeFileSystem(CallLog &log) : log_(log) {}

    std::string ExecutableDirectory() override;
    // Logs the copy and, in `files`, copies the source's content.
    void CopyFile(const std::string &source, const std::string &destination) override;
    bool FileExists(const std::string &path) override;

    std::string executable_directory = "/srv/suite";
    // The files there are, by path, with their contents.
    std::map<std::string, std::string> files;
    // The copies (counted from 1) that throw PlatformError.
    std::set<int> failing_copies;
    int copies = 0;

  private:
    CallLog &log_;
};

// Reports `names` as the listing of whatever directory and pattern it is set
// to: the tests give it what the real listing would have kept.
class FakeFileList final : public FileList {
  public:
    explicit FakeFileList(CallLog &log) : log_(log) {}

    void SetDirectory(const std::string &path) override;
    void SetPattern(const std::string &pattern) override;
    std::int16_t Count() override;
    void Select(std::int16_t index) override;
    std::string SelectedName() override;

    std::vector<std::string> names;
    // When set, SetDirectory throws PlatformError with this reason.
    std::optional<std::string> directory_error;

  private:
    CallLog &log_;
    std::int16_t selected_ = -1;
};

// The fakes wired together, as a fixture member.
struct FakePlatform {
    CallLog log;
    FakeUi ui{log};
    FakeFileSystem file_system{log};
    FakeFileList file_list{log};
    Platform platform{ui, file_system, file_list};
};

}  // namespace rebuild
