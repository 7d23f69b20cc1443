// The program's side of the store library: the working company record, the
// slot that receives every store call's result, and the five operations the
// rebuild calls, each one a faithful store call.
//
// A store call converts its arguments the way the library expects them (every
// argument by reference, texts as separate NUL-terminated 8-bit copies, the
// record as a packed block of text references and 16-bit integers), calls the
// operation, copies variables back, and records the result in
// LastStoreResult. The library is loaded from the program's directory on the
// first store call and each operation is looked up on its own first call;
// both stay for the life of the Module1. If the library cannot be loaded or
// lacks the operation, the call throws PlatformError and does not happen:
// nothing is passed, nothing copied back, LastStoreResult keeps its value.
//
// The program holds one Module1 for the whole process and uses it from the
// window's event thread only: it is not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "rebuild/store_library.h"

namespace rebuild {

// One registry record, in the order of its fields in the store.
struct CompanyRecord {
    std::string Name;
    std::string Text2;
    std::string Text3;
    std::string Text4;
    int16_t Flag5 = 0;
    int16_t Flag6 = 0;
    // Never assigned by the program; present because the layout has it.
    std::string Text7;
};

// Describes CompanyRecord to the library: "$" a text, "%" a 16-bit integer,
// keys of at most 40 bytes.
inline constexpr std::string_view CompanyRecordLayout = "x40$,$,$,$,%,%,$";

// The block the library reads a CompanyRecord from: the fields in order, each
// text as a pointer to its 8-bit copy, each flag as an int16_t, no padding
// (44 bytes with 64-bit pointers).
inline constexpr std::size_t CompanyRecordBlockSize =
    5 * sizeof(const char *) + 2 * sizeof(int16_t);

// The library's file, looked for in the directory given to Module1.
inline constexpr std::string_view StoreLibraryFileName = "libvbis4032.so";

// The path of the store `base_name` in `program_dir`: the directory, "/", the
// base name. The separator is added whatever the directory ends with, so the
// root directory gives "//temp"; the result goes to the library as formed.
std::string StorePath(std::string_view program_dir, std::string_view base_name);

class Module1 {
  public:
    // The library's operations, exactly as it exports them.
    using VmxKillFn = int16_t (*)(const char *const *store);
    using VmxCreateFn = int16_t (*)(const char *const *store, const int16_t *key_kind,
                                    const int32_t *page_size, const int16_t *reserved1,
                                    const int16_t *reserved2, const char *const *layout);
    using VmxOpenFn = int16_t (*)(const char *const *store, const int16_t *flags,
                                  const int16_t *access, int32_t *handle);
    using VmxPutFn = int16_t (*)(const int32_t *handle, const char *const *key, const void *record,
                                 const int16_t *mode);
    using VmxCloseFn = int16_t (*)(const int32_t *handle);
    // The two the installation adds: moving a store and checking one.
    using VmxRenameFn = int16_t (*)(const char *const *from, const char *const *to);
    using VmxVerifyFn = int16_t (*)(const char *const *store, int32_t *records, char *message,
                                    const int32_t *message_size);

    // `library_dir` is the directory the library file is loaded from: the
    // program's own. Nothing is loaded until the first store call.
    Module1(std::string library_dir, std::unique_ptr<StoreLibrary> library);

    // Each call returns the operation's result, which is also in
    // LastStoreResult. Numbers are passed by value and handed to the library
    // in fresh temporaries, so a constant is the same on every call whatever
    // an earlier call did to it. A `std::string &` text is a variable: it is
    // copied back from the library's copy after the call. A
    // `std::string_view` text is a constant and is never copied back. The
    // handle is passed as the variable itself.
    int16_t VmxKill(std::string &store);
    int16_t VmxCreate(std::string &store, int16_t key_kind, int32_t page_size, int16_t reserved1,
                      int16_t reserved2, std::string_view layout);
    int16_t VmxOpen(std::string &store, int16_t flags, int16_t access, int32_t &handle);
    // The record is copied back after the call in both forms.
    int16_t VmxPut(int32_t &handle, std::string_view constant_key, rebuild::CompanyRecord &record,
                   int16_t mode);
    int16_t VmxPut(int32_t &handle, std::string &variable_key, rebuild::CompanyRecord &record,
                   int16_t mode);
    int16_t VmxClose(int32_t &handle);
    int16_t VmxRename(std::string &from, std::string &to);
    // The library's description of what is wrong goes nowhere: the program
    // shows its own fixed messages.
    int16_t VmxVerify(std::string &store);

    // The working record: texts empty and flags 0 until the build sets them.
    rebuild::CompanyRecord CompanyRecord;
    // Empty until the first store call, then the latest call's result.
    std::optional<int16_t> LastStoreResult;

  private:
    // The operation in `slot`, loading the library and looking the operation
    // up by `name` first if this is its first call.
    template <typename Operation>
    Operation Bound(Operation &slot, const char *name);

    // Steps shared by both forms of VmxPut; `variable_key` is null for a
    // constant key.
    int16_t Put(int32_t &handle, std::string_view key, std::string *variable_key,
                rebuild::CompanyRecord &record, int16_t mode);

    std::string library_dir_;
    std::unique_ptr<StoreLibrary> library_;
    bool loaded_ = false;
    VmxKillFn kill_ = nullptr;
    VmxCreateFn create_ = nullptr;
    VmxOpenFn open_ = nullptr;
    VmxPutFn put_ = nullptr;
    VmxCloseFn close_ = nullptr;
    VmxRenameFn rename_ = nullptr;
    VmxVerifyFn verify_ = nullptr;
};

}  // namespace rebuild
