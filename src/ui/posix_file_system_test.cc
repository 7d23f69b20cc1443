// The program's directory as the kernel reports it, seen from a helper program
// started in the ways an operator might start the tool.
#include "ui/posix_file_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ui/temp_dir.h"

namespace posix {
namespace {

// What the probe prints when started as `command`.
std::string ProbeOutput(const std::string &command) {
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return "popen failed";
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = pclose(pipe);
    if (status != 0) return "exit status " + std::to_string(status);
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

std::string Quoted(const std::filesystem::path &path) {
    return "'" + path.string() + "'";
}

TEST(PosixFileSystem, ExecutableDirectoryIsWhereTheExecutableReallyIs) {
    const std::filesystem::path probe = PROGRAM_DIR_PROBE;
    const std::string real_dir = std::filesystem::canonical(probe).parent_path();
    TempDir dir;
    std::filesystem::create_symlink(probe, dir / "linked probe");
    std::filesystem::copy_file(probe, dir / "copied probe");
    const std::string temp_dir = std::filesystem::canonical(dir.path());

    struct Case {
        const char *name;
        std::string command;
        std::string directory;
    };
    const Case cases[] = {
        {"started by full path", Quoted(probe), real_dir},
        {"started through a link elsewhere", Quoted(dir / "linked probe"), real_dir},
        {"a copy elsewhere", Quoted(dir / "copied probe"), temp_dir},
        {"started from another directory by relative path",
         "cd " + Quoted(dir.path()) + " && './copied probe'", temp_dir},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ProbeOutput(c.command), c.directory) << c.name;
    }
}

}  // namespace
}  // namespace posix
