// The dynamic-loader seam on the recording fake of the store library: what
// it finds, and the reasons it gives when it finds nothing.
#include "rebuild/posix_store_library.h"

#include <gtest/gtest.h>

#include <string>

#include "rebuild/platform_error.h"

namespace rebuild {
namespace {

const std::string kFake = std::string(FAKE_STORE_DIR) + "/libvbis4032.so";
const std::string kFakeWithoutPut = std::string(FAKE_STORE_WITHOUT_PUT_DIR) + "/libvbis4032.so";

// The error's text, or "" if `action` raised none.
template <typename Action>
std::string PlatformErrorOf(Action action) {
    try {
        action();
    } catch (const PlatformError &error) {
        return error.what();
    }
    return "";
}

TEST(PosixStoreLibraryTest, FindsEveryOperationOfTheLoadedLibrary) {
    PosixStoreLibrary library;
    library.Load(kFake);
    for (const char *name : {"VmxKill", "VmxCreate", "VmxOpen", "VmxPut", "VmxClose"}) {
        EXPECT_NE(library.Lookup(name), nullptr) << name;
    }
}

TEST(PosixStoreLibraryTest, GivesTheReasonWhenItFindsNothing) {
    struct Row {
        const char *what;
        std::string library;  // empty: nothing loaded
        std::string load;
        std::string lookup;
        std::string reason_names;
    };
    const std::string missing_file = std::string(FAKE_STORE_DIR) + "/no-such-library.so";
    for (const Row &row : {
             Row{"missing file", "", missing_file, "", missing_file},
             Row{"missing operation", kFakeWithoutPut, "", "VmxPut", "VmxPut"},
             Row{"operation the fake never exports", kFake, "", "VmxGet", "VmxGet"},
             Row{"nothing loaded", "", "", "VmxKill", "VmxKill"},
             Row{"second load", kFake, kFake, "", kFake},
         }) {
        PosixStoreLibrary library;
        if (!row.library.empty()) library.Load(row.library);
        const std::string reason = PlatformErrorOf([&] {
            if (!row.load.empty()) library.Load(row.load);
            if (!row.lookup.empty()) library.Lookup(row.lookup);
        });
        EXPECT_NE(reason, "") << row.what;
        EXPECT_NE(reason.find(row.reason_names), std::string::npos) << row.what << ": " << reason;
    }
}

}  // namespace
}  // namespace rebuild
