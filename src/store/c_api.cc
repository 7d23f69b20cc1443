// The C interface of vbis4032.h over the engine. Arguments are checked and
// turned into C++ values here, handles are kept in one table, and every
// engine Status becomes a result code in one place (Result).
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "store.h"
#include "vbis4032.h"

namespace {

using vbis::Status;
using vbis::Store;

constexpr int kMaxOpen = 1024;  // handle slots; a handle is (sequence << 10) | slot

struct HandleTable {
    std::mutex mutex;  // held for the whole of every call that uses a handle
    std::unique_ptr<Store> stores[kMaxOpen];
    uint32_t sequence[kMaxOpen] = {};
    uint32_t next_sequence = 1;
};

HandleTable &Table() {
    static HandleTable table;
    return table;
}

int16_t Result(const Status &s) {
    return static_cast<int16_t>(s.code());
}

// The store behind a handle, or null; the table's mutex must be held.
Store *Lookup(HandleTable &t, const int32_t *handle) {
    if (handle == nullptr || *handle <= 0) return nullptr;
    auto h = static_cast<uint32_t>(*handle);
    uint32_t slot = h & (kMaxOpen - 1);
    if (t.stores[slot] == nullptr || t.sequence[slot] != (h >> 10)) return nullptr;
    return t.stores[slot].get();
}

bool Text(const char *const *ref, std::string *out) {
    if (ref == nullptr || *ref == nullptr) return false;
    out->assign(*ref);
    return true;
}

// Runs `body` and turns an exhausted memory into a result instead of an
// exception crossing the C boundary.
template <typename F>
int16_t Guard(F body) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return VMX_NO_RESOURCES;
    } catch (...) {
        return VMX_IO_ERROR;
    }
}

// Runs `body` on the store behind `handle` with the table locked, or gives
// VMX_BAD_HANDLE.
template <typename F>
int16_t WithStore(const int32_t *handle, F body) {
    return Guard([&] {
        HandleTable &t = Table();
        std::lock_guard<std::mutex> lock(t.mutex);
        Store *s = Lookup(t, handle);
        if (s == nullptr) return int16_t{VMX_BAD_HANDLE};
        return body(*s);
    });
}

}  // namespace

extern "C" {

int16_t VmxKill(const char *const *store) {
    return Guard([&] {
        std::string name;
        if (!Text(store, &name)) return int16_t{VMX_BAD_ARGUMENT};
        return Result(Store::Kill(vbis::Env::Default(), name));
    });
}

int16_t VmxCreate(const char *const *store, const int16_t *key_kind, const int32_t *page_size,
                  const int16_t *reserved1, const int16_t *reserved2, const char *const *layout) {
    return Guard([&] {
        std::string name, layout_text;
        if (!Text(store, &name) || !Text(layout, &layout_text) || key_kind == nullptr ||
            page_size == nullptr || reserved1 == nullptr || reserved2 == nullptr) {
            return int16_t{VMX_BAD_ARGUMENT};
        }
        vbis::CreateOptions options{*key_kind, *page_size, *reserved1, *reserved2};
        return Result(Store::Create(vbis::Env::Default(), name, layout_text, options));
    });
}

int16_t VmxOpen(const char *const *store, const int16_t *flags, const int16_t *access,
                int32_t *handle) {
    return Guard([&] {
        if (handle == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        *handle = 0;
        std::string name;
        if (!Text(store, &name) || flags == nullptr || access == nullptr) {
            return int16_t{VMX_BAD_ARGUMENT};
        }
        if ((*flags & ~VMX_OPEN_RECOVER) != 0 ||
            (*access != VMX_ACCESS_READ && *access != VMX_ACCESS_READWRITE)) {
            return int16_t{VMX_BAD_ARGUMENT};
        }
        HandleTable &t = Table();
        std::lock_guard<std::mutex> lock(t.mutex);
        int slot = 0;
        while (slot < kMaxOpen && t.stores[slot] != nullptr) ++slot;
        if (slot == kMaxOpen) return int16_t{VMX_NO_RESOURCES};
        std::unique_ptr<Store> s;
        Status st = Store::Open(vbis::Env::Default(), name, *access == VMX_ACCESS_READWRITE,
                                (*flags & VMX_OPEN_RECOVER) != 0, &s);
        if (!st.ok()) return Result(st);
        uint32_t seq = t.next_sequence;
        t.next_sequence = t.next_sequence % 0x1FFFFF + 1;  // stays within 31 bits, never 0
        t.stores[slot] = std::move(s);
        t.sequence[slot] = seq;
        *handle = static_cast<int32_t>(seq << 10 | static_cast<uint32_t>(slot));
        return int16_t{VMX_OK};
    });
}

int16_t VmxPut(const int32_t *handle, const char *const *key, const void *record,
               const int16_t *mode) {
    return WithStore(handle, [&](Store &s) {
        if (key == nullptr || *key == nullptr || record == nullptr || mode == nullptr) {
            return int16_t{VMX_BAD_ARGUMENT};
        }
        return Result(s.Put(*key, record, *mode));
    });
}

int16_t VmxClose(const int32_t *handle) {
    return Guard([&] {
        HandleTable &t = Table();
        std::lock_guard<std::mutex> lock(t.mutex);
        Store *s = Lookup(t, handle);
        if (s == nullptr) return int16_t{VMX_BAD_HANDLE};
        std::unique_ptr<Store> owned = std::move(t.stores[*handle & (kMaxOpen - 1)]);
        return Result(owned->Close());
    });
}

int16_t VmxGet(const int32_t *handle, const char *const *key, void *record) {
    return WithStore(handle, [&](Store &s) {
        if (key == nullptr || *key == nullptr || record == nullptr)
            return int16_t{VMX_BAD_ARGUMENT};
        return Result(s.Get(*key, record));
    });
}

int16_t VmxFirst(const int32_t *handle, const char **key, void *record) {
    return WithStore(handle, [&](Store &s) {
        if (key == nullptr || record == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        return Result(s.First(key, record));
    });
}

int16_t VmxNext(const int32_t *handle, const char **key, void *record) {
    return WithStore(handle, [&](Store &s) {
        if (key == nullptr || record == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        return Result(s.Next(key, record));
    });
}

int16_t VmxCount(const int32_t *handle, int32_t *count) {
    return WithStore(handle, [&](Store &s) {
        if (count == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        if (s.records() > INT32_MAX) return int16_t{VMX_NO_RESOURCES};
        *count = static_cast<int32_t>(s.records());
        return int16_t{VMX_OK};
    });
}

int16_t VmxRecordSize(const int32_t *handle, int32_t *size) {
    return WithStore(handle, [&](Store &s) {
        if (size == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        *size = static_cast<int32_t>(s.layout().block_size());
        return int16_t{VMX_OK};
    });
}

int16_t VmxInfo(const int32_t *handle, VmxStoreInfo *info) {
    return WithStore(handle, [&](Store &s) {
        if (info == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        vbis::StoreInfo i = s.Info();
        info->layout = s.layout().text().c_str();
        info->records = i.records > INT32_MAX ? INT32_MAX : static_cast<int32_t>(i.records);
        info->format_version = static_cast<int32_t>(i.format_version);
        info->generation = static_cast<int64_t>(i.generation);
        info->page_size = static_cast<int32_t>(i.page_size);
        info->key_max = static_cast<int16_t>(i.key_max);
        info->clean = i.clean ? 1 : 0;
        return int16_t{VMX_OK};
    });
}

int16_t VmxVerify(const char *const *store, int32_t *records, char *message,
                  const int32_t *message_size) {
    return Guard([&] {
        std::string name;
        if (!Text(store, &name) || records == nullptr) return int16_t{VMX_BAD_ARGUMENT};
        uint64_t count = 0;
        Status s = Store::Verify(vbis::Env::Default(), name, &count);
        if (s.ok()) {
            *records = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
        } else if (message != nullptr && message_size != nullptr && *message_size > 0) {
            std::string text = s.message();
            size_t n = std::min(text.size(), static_cast<size_t>(*message_size) - 1);
            std::memcpy(message, text.data(), n);
            message[n] = '\0';
        }
        return Result(s);
    });
}

int16_t VmxRename(const char *const *from, const char *const *to) {
    return Guard([&] {
        std::string a, b;
        if (!Text(from, &a) || !Text(to, &b)) return int16_t{VMX_BAD_ARGUMENT};
        return Result(Store::Rename(vbis::Env::Default(), a, b));
    });
}

const char *VmxResultText(int16_t result) {
    switch (result) {
        case VMX_OK:
            return "ok";
        case VMX_NOT_FOUND:
            return "not found";
        case VMX_EXISTS:
            return "already exists";
        case VMX_IN_USE:
            return "in use";
        case VMX_BAD_ARGUMENT:
            return "bad argument";
        case VMX_BAD_HANDLE:
            return "bad handle";
        case VMX_READ_ONLY:
            return "read-only handle";
        case VMX_IO_ERROR:
            return "input/output error";
        case VMX_NO_SPACE:
            return "out of space";
        case VMX_CORRUPT:
            return "corrupt";
        case VMX_NOT_CLOSED:
            return "not closed cleanly";
        case VMX_BAD_VERSION:
            return "unsupported format version";
        case VMX_NO_RESOURCES:
            return "out of memory or handles";
        default:
            return "unknown result";
    }
}

}  // extern "C"
