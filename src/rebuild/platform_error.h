// The one kind of error the rebuild does not handle itself: a failure that the
// platform raises (a directory that cannot be listed, the store library that
// cannot be loaded or lacks an operation, a file that cannot be copied). The
// platform layer reports it to the operator and ends the program; the one
// stage that catches it on purpose is the registry installation.
#pragma once

#include <stdexcept>

namespace rebuild {

class PlatformError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace rebuild
