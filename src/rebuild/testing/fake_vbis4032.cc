// A recording stand-in for the store library, for tests: built as
// libvbis4032.so into a directory of its own, so that the program loads it
// exactly as it would load the real one. It stores nothing. Each call appends
// one line to a log with every argument as received, then returns the result
// the test asked for.
//
// Configured through the environment, read afresh on every call:
//   FAKE_VBIS_LOG      file that receives one line per call (appended).
//   FAKE_VBIS_RESULTS  results to return instead of 0, as a comma-separated
//                      list of "Operation:result" (every call of it) and
//                      "Operation#n:result" (its n-th call, counting the
//                      calls in the log from 1; wins over the former), e.g.
//                      "VmxCreate:5,VmxPut#3:7".
//   FAKE_VBIS_SCRIBBLE when set, each number that the caller passes as a
//                      constant is overwritten with -1 after it is logged,
//                      as a careless library might; a caller that does not
//                      give every call fresh temporaries sees it.
// VmxOpen places 4032 in the handle when its result is 0, and 0 otherwise.
//
// Log lines, texts in double quotes with '"', '\' and control bytes escaped
// (\xHH), a null reference as null:
//   VmxKill store="..."
//   VmxCreate store="..." key_kind=2 page_size=0 reserved1=0 reserved2=0 layout="..."
//   VmxOpen store="..." flags=0 access=3 handle=0         (the handle as it came in)
//   VmxPut handle=4032 key="YY" record={Name="" Text2="" Text3="" Text4="" Flag5=0 Flag6=0
//   Text7=""} mode=0
//   VmxClose handle=4032
//   VmxRename from="..." to="..."
//   VmxVerify store="..." message_size=512
// The record is decoded from the block by the layout "x40$,$,$,$,%,%,$":
// five text pointers and two int16_t in field order, no padding.
//
// Built with FAKE_VBIS_WITHOUT_PUT it does not export VmxPut, for the tests
// of a library that lacks an operation.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "vbis4032.h"

namespace {

constexpr int32_t kOpenedHandle = 4032;

std::string Environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string Quoted(const char *text) {
    if (text == nullptr) return "null";
    std::string out = "\"";
    for (const char *p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Text(const char *const *reference) {
    return reference != nullptr ? Quoted(*reference) : "null";
}

template <typename Number>
std::string Value(const Number *reference) {
    return reference != nullptr ? std::to_string(*reference) : "null";
}

// Unused in the build without VmxPut.
[[maybe_unused]] std::string Block(const void *record) {
    if (record == nullptr) return "null";
    const auto *block = static_cast<const unsigned char *>(record);
    std::size_t offset = 0;
    auto text = [&] {
        const char *pointer;
        std::memcpy(&pointer, block + offset, sizeof pointer);
        offset += sizeof pointer;
        return Quoted(pointer);
    };
    auto flag = [&] {
        int16_t value;
        std::memcpy(&value, block + offset, sizeof value);
        offset += sizeof value;
        return std::to_string(value);
    };
    // Evaluated one statement at a time: the fields must be read in order.
    std::string out = "{Name=" + text();
    out += " Text2=" + text();
    out += " Text3=" + text();
    out += " Text4=" + text();
    out += " Flag5=" + flag();
    out += " Flag6=" + flag();
    out += " Text7=" + text();
    return out + "}";
}

// How many calls of `operation` the log holds already.
int CallsLogged(const std::string &log, const std::string &operation) {
    std::ifstream in(log);
    const std::string prefix = operation + " ";
    int calls = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) ++calls;
    }
    return calls;
}

int16_t ResultFor(const std::string &operation, int call) {
    std::istringstream items(Environment("FAKE_VBIS_RESULTS"));
    int16_t for_every_call = VMX_OK;
    for (std::string item; std::getline(items, item, ',');) {
        const std::size_t colon = item.rfind(':');
        if (colon == std::string::npos) continue;
        const std::string target = item.substr(0, colon);
        const auto result = static_cast<int16_t>(std::stoi(item.substr(colon + 1)));
        if (target == operation) for_every_call = result;
        if (target == operation + "#" + std::to_string(call)) return result;
    }
    return for_every_call;
}

// Logs the call and gives its result.
int16_t LogCall(const std::string &operation, const std::string &arguments) {
    const std::string log = Environment("FAKE_VBIS_LOG");
    int call = 0;
    if (!log.empty()) {
        call = CallsLogged(log, operation) + 1;
        std::ofstream(log, std::ios::app) << operation << ' ' << arguments << '\n';
    }
    return ResultFor(operation, call);
}

template <typename Number>
void Scribble(const Number *reference) {
    if (reference != nullptr && !Environment("FAKE_VBIS_SCRIBBLE").empty()) {
        *const_cast<Number *>(reference) = -1;
    }
}

}  // namespace

extern "C" {

int16_t VmxKill(const char *const *store) {
    return LogCall("VmxKill", "store=" + Text(store));
}

int16_t VmxCreate(const char *const *store, const int16_t *key_kind, const int32_t *page_size,
                  const int16_t *reserved1, const int16_t *reserved2, const char *const *layout) {
    const int16_t result = LogCall(
        "VmxCreate", "store=" + Text(store) + " key_kind=" + Value(key_kind) +
                         " page_size=" + Value(page_size) + " reserved1=" + Value(reserved1) +
                         " reserved2=" + Value(reserved2) + " layout=" + Text(layout));
    Scribble(key_kind);
    Scribble(page_size);
    Scribble(reserved1);
    Scribble(reserved2);
    return result;
}

int16_t VmxOpen(const char *const *store, const int16_t *flags, const int16_t *access,
                int32_t *handle) {
    const int16_t result =
        LogCall("VmxOpen", "store=" + Text(store) + " flags=" + Value(flags) +
                               " access=" + Value(access) + " handle=" + Value(handle));
    Scribble(flags);
    Scribble(access);
    if (handle != nullptr) *handle = result == VMX_OK ? kOpenedHandle : 0;
    return result;
}

#ifndef FAKE_VBIS_WITHOUT_PUT
int16_t VmxPut(const int32_t *handle, const char *const *key, const void *record,
               const int16_t *mode) {
    const int16_t result =
        LogCall("VmxPut", "handle=" + Value(handle) + " key=" + Text(key) +
                              " record=" + Block(record) + " mode=" + Value(mode));
    Scribble(mode);
    return result;
}
#endif

int16_t VmxClose(const int32_t *handle) {
    return LogCall("VmxClose", "handle=" + Value(handle));
}

int16_t VmxRename(const char *const *from, const char *const *to) {
    return LogCall("VmxRename", "from=" + Text(from) + " to=" + Text(to));
}

int16_t VmxVerify(const char *const *store, int32_t *records, char *message,
                  const int32_t *message_size) {
    if (records != nullptr) *records = 0;
    if (message != nullptr && message_size != nullptr && *message_size > 0) message[0] = '\0';
    return LogCall("VmxVerify", "store=" + Text(store) + " message_size=" + Value(message_size));
}

}  // extern "C"
