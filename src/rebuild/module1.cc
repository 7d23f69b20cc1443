// The store calls. Every call takes the same steps in the same order:
// bind the operation, put the numbers in fresh temporaries, make 8-bit copies
// of the texts (and the record block), call, copy the record and the variable
// texts back, record the result; the temporaries and copies go at the end of
// the call. None of them is const: the library receives their addresses, and
// whatever it does through them must stay within this one call.
#include "rebuild/module1.h"

#include <array>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "vbis4032.h"

namespace rebuild {

// Module1's declarations of the operations must stay those of the header.
static_assert(std::is_same_v<Module1::VmxKillFn, decltype(&::VmxKill)>);
static_assert(std::is_same_v<Module1::VmxCreateFn, decltype(&::VmxCreate)>);
static_assert(std::is_same_v<Module1::VmxOpenFn, decltype(&::VmxOpen)>);
static_assert(std::is_same_v<Module1::VmxPutFn, decltype(&::VmxPut)>);
static_assert(std::is_same_v<Module1::VmxCloseFn, decltype(&::VmxClose)>);
static_assert(std::is_same_v<Module1::VmxRenameFn, decltype(&::VmxRename)>);
static_assert(std::is_same_v<Module1::VmxVerifyFn, decltype(&::VmxVerify)>);

namespace {

// The library takes texts in the system's 8-bit encoding. On this platform
// that is UTF-8, the program's own encoding, so the conversion copies the
// bytes unchanged. It stays a step of its own, and a copy: the library never
// sees the program's strings, only terminated texts that live for one call.
std::vector<char> ToSystemText(std::string_view text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    return bytes;
}

std::string FromSystemText(const char *text) {
    return text != nullptr ? std::string(text) : "";
}

// A text argument: the 8-bit copy and the reference to it that the library
// receives.
class TextArgument {
  public:
    explicit TextArgument(std::string_view text)
        : bytes_(ToSystemText(text)), pointer_(bytes_.data()) {}
    TextArgument(const TextArgument &) = delete;
    TextArgument &operator=(const TextArgument &) = delete;

    const char *const *Reference() const { return &pointer_; }
    std::string Back() const { return FromSystemText(pointer_); }

  private:
    std::vector<char> bytes_;
    const char *pointer_;
};

// Where each field of CompanyRecord lies in the block, from the layout.
constexpr std::size_t kTextSize = sizeof(const char *);
constexpr std::size_t kFlagSize = sizeof(int16_t);
constexpr std::size_t kNameAt = 0;
constexpr std::size_t kText2At = kNameAt + kTextSize;
constexpr std::size_t kText3At = kText2At + kTextSize;
constexpr std::size_t kText4At = kText3At + kTextSize;
constexpr std::size_t kFlag5At = kText4At + kTextSize;
constexpr std::size_t kFlag6At = kFlag5At + kFlagSize;
constexpr std::size_t kText7At = kFlag6At + kFlagSize;
static_assert(kText7At + kTextSize == CompanyRecordBlockSize);

struct TextField {
    std::size_t offset;
    std::string CompanyRecord::*field;
};
constexpr std::array<TextField, 5> kTextFields = {{
    {kNameAt, &CompanyRecord::Name},
    {kText2At, &CompanyRecord::Text2},
    {kText3At, &CompanyRecord::Text3},
    {kText4At, &CompanyRecord::Text4},
    {kText7At, &CompanyRecord::Text7},
}};

struct FlagField {
    std::size_t offset;
    int16_t CompanyRecord::*field;
};
constexpr std::array<FlagField, 2> kFlagFields = {{
    {kFlag5At, &CompanyRecord::Flag5},
    {kFlag6At, &CompanyRecord::Flag6},
}};

// The record argument: the 8-bit copies of its texts and the packed block
// that refers to them. The block is filled and read by offsets, so it needs
// no alignment and no struct mirrors it.
class RecordArgument {
  public:
    explicit RecordArgument(const CompanyRecord &record) {
        for (std::size_t i = 0; i < kTextFields.size(); ++i) {
            texts_[i] = ToSystemText(record.*kTextFields[i].field);
            const char *pointer = texts_[i].data();
            std::memcpy(block_.data() + kTextFields[i].offset, &pointer, kTextSize);
        }
        for (const FlagField &flag : kFlagFields) {
            const int16_t value = record.*flag.field;
            std::memcpy(block_.data() + flag.offset, &value, kFlagSize);
        }
    }
    RecordArgument(const RecordArgument &) = delete;
    RecordArgument &operator=(const RecordArgument &) = delete;

    const void *Block() const { return block_.data(); }

    // Every field takes what the block holds now.
    void CopyBackTo(CompanyRecord &record) const {
        for (const TextField &text : kTextFields) {
            const char *pointer;
            std::memcpy(&pointer, block_.data() + text.offset, kTextSize);
            record.*text.field = FromSystemText(pointer);
        }
        for (const FlagField &flag : kFlagFields) {
            int16_t value;
            std::memcpy(&value, block_.data() + flag.offset, kFlagSize);
            record.*flag.field = value;
        }
    }

  private:
    std::array<std::vector<char>, kTextFields.size()> texts_;
    std::array<unsigned char, CompanyRecordBlockSize> block_{};
};

}  // namespace

std::string StorePath(std::string_view program_dir, std::string_view base_name) {
    std::string path(program_dir);
    path += '/';
    path += base_name;
    return path;
}

Module1::Module1(std::string library_dir, std::unique_ptr<StoreLibrary> library)
    : library_dir_(std::move(library_dir)), library_(std::move(library)) {}

template <typename Operation>
Operation Module1::Bound(Operation &slot, const char *name) {
    if (slot == nullptr) {
        if (!loaded_) {
            library_->Load(library_dir_ + "/" + std::string(StoreLibraryFileName));
            loaded_ = true;
        }
        slot = reinterpret_cast<Operation>(library_->Lookup(name));
    }
    return slot;
}

int16_t Module1::VmxKill(std::string &store) {
    const VmxKillFn operation = Bound(kill_, "VmxKill");
    TextArgument store_text(store);
    const int16_t result = operation(store_text.Reference());
    store = store_text.Back();
    LastStoreResult = result;
    return result;
}

int16_t Module1::VmxCreate(std::string &store, int16_t key_kind, int32_t page_size,
                           int16_t reserved1, int16_t reserved2, std::string_view layout) {
    const VmxCreateFn operation = Bound(create_, "VmxCreate");
    int16_t key_kind_value = key_kind;
    int32_t page_size_value = page_size;
    int16_t reserved1_value = reserved1;
    int16_t reserved2_value = reserved2;
    TextArgument store_text(store);
    TextArgument layout_text(layout);
    const int16_t result = operation(store_text.Reference(), &key_kind_value, &page_size_value,
                                     &reserved1_value, &reserved2_value, layout_text.Reference());
    store = store_text.Back();
    LastStoreResult = result;
    return result;
}

int16_t Module1::VmxOpen(std::string &store, int16_t flags, int16_t access, int32_t &handle) {
    const VmxOpenFn operation = Bound(open_, "VmxOpen");
    int16_t flags_value = flags;
    int16_t access_value = access;
    TextArgument store_text(store);
    const int16_t result = operation(store_text.Reference(), &flags_value, &access_value, &handle);
    store = store_text.Back();
    LastStoreResult = result;
    return result;
}

int16_t Module1::VmxPut(int32_t &handle, std::string_view constant_key,
                        rebuild::CompanyRecord &record, int16_t mode) {
    return Put(handle, constant_key, nullptr, record, mode);
}

int16_t Module1::VmxPut(int32_t &handle, std::string &variable_key, rebuild::CompanyRecord &record,
                        int16_t mode) {
    return Put(handle, variable_key, &variable_key, record, mode);
}

int16_t Module1::Put(int32_t &handle, std::string_view key, std::string *variable_key,
                     rebuild::CompanyRecord &record, int16_t mode) {
    const VmxPutFn operation = Bound(put_, "VmxPut");
    int16_t mode_value = mode;
    TextArgument key_text(key);
    RecordArgument record_block(record);
    const int16_t result =
        operation(&handle, key_text.Reference(), record_block.Block(), &mode_value);
    record_block.CopyBackTo(record);
    if (variable_key != nullptr) *variable_key = key_text.Back();
    LastStoreResult = result;
    return result;
}

int16_t Module1::VmxClose(int32_t &handle) {
    const VmxCloseFn operation = Bound(close_, "VmxClose");
    const int16_t result = operation(&handle);
    LastStoreResult = result;
    return result;
}

int16_t Module1::VmxRename(std::string &from, std::string &to) {
    const VmxRenameFn operation = Bound(rename_, "VmxRename");
    TextArgument from_text(from);
    TextArgument to_text(to);
    const int16_t result = operation(from_text.Reference(), to_text.Reference());
    from = from_text.Back();
    to = to_text.Back();
    LastStoreResult = result;
    return result;
}

int16_t Module1::VmxVerify(std::string &store) {
    const VmxVerifyFn operation = Bound(verify_, "VmxVerify");
    TextArgument store_text(store);
    int32_t records = 0;
    std::array<char, 512> message{};
    int32_t message_size = static_cast<int32_t>(message.size());
    const int16_t result =
        operation(store_text.Reference(), &records, message.data(), &message_size);
    store = store_text.Back();
    LastStoreResult = result;
    return result;
}

}  // namespace rebuild
