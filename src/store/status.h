// The outcome of an engine operation: a code from the public result set and,
// for failures, a message that names the file and what went wrong. The C
// interface turns it into a result code in one place (c_api.cc).
#pragma once

#include <string>
#include <utility>

#include "vbis4032.h"

namespace vbis {

class Status {
  public:
    Status() = default;

    static Status NotFound(std::string m) { return {VMX_NOT_FOUND, std::move(m)}; }
    static Status Exists(std::string m) { return {VMX_EXISTS, std::move(m)}; }
    static Status InUse(std::string m) { return {VMX_IN_USE, std::move(m)}; }
    static Status BadArgument(std::string m) { return {VMX_BAD_ARGUMENT, std::move(m)}; }
    static Status ReadOnly(std::string m) { return {VMX_READ_ONLY, std::move(m)}; }
    static Status IoError(std::string m) { return {VMX_IO_ERROR, std::move(m)}; }
    static Status NoSpace(std::string m) { return {VMX_NO_SPACE, std::move(m)}; }
    static Status Corrupt(std::string m) { return {VMX_CORRUPT, std::move(m)}; }
    static Status NotClosed(std::string m) { return {VMX_NOT_CLOSED, std::move(m)}; }
    static Status BadVersion(std::string m) { return {VMX_BAD_VERSION, std::move(m)}; }
    static Status NoResources(std::string m) { return {VMX_NO_RESOURCES, std::move(m)}; }

    bool ok() const { return code_ == VMX_OK; }
    int code() const { return code_; }
    const std::string &message() const { return message_; }
    std::string ToString() const {
        return ok() ? "ok"
                    : std::string(VmxResultText(static_cast<int16_t>(code_))) + ": " + message_;
    }

  private:
    Status(int code, std::string message) : code_(code), message_(std::move(message)) {}

    int code_ = VMX_OK;
    std::string message_;
};

// Returns from the enclosing function when `expr` yields a failed Status.
#define VBIS_RETURN_IF_ERROR(expr)         \
    do {                                   \
        ::vbis::Status status_ = (expr);   \
        if (!status_.ok()) return status_; \
    } while (0)

}  // namespace vbis
