// Prints what the platform reports as the program's directory, so a test can
// start it through a link or from a copy and see what it reports.
#include <cstdio>

#include "ui/posix_file_system.h"

int main() {
    posix::PosixFileSystem file_system;
    std::puts(file_system.ExecutableDirectory().c_str());
}
