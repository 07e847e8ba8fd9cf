#pragma once
// A small result type: either a value or an Error that says what went wrong, what
// sort of failure it was and, for file formats, at which byte. Status is the same
// for operations that produce nothing: ok() (and `if (status)`) means success.

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace ov {

// What sort of failure an Error is, so a caller can pick its own words for it
// without parsing the message.
enum class ErrorKind : uint8_t {
    Other,
    NotFound,     // a file, folder or entry that is not there
    BadData,      // bytes that are not what the format needs; `offset` says where
    OutOfRange,   // an index or position beyond what the data holds
    ReadFailed,   // the system would not open or read a file
    WriteFailed,  // the system would not create or write a file
    Refused,      // a request the data cannot take without being damaged
    Stopped,      // the work was asked to stop before it was done
};

struct Error {
    std::string message;
    // Byte offset in the input where the fault was found, when it comes from a file format.
    std::optional<uint64_t> offset;
    ErrorKind kind = ErrorKind::Other;
    // The system's own reason, when a call to the system failed (a full disk, a
    // read-only folder, a name too long): callers decide from it whether the next
    // write is worth trying.
    std::error_code cause = {};

    // The message, followed by " (at byte N)" when an offset is known.
    std::string describe() const;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

// Success, or the Error that stopped the operation. `return {};` is success.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }

    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

inline Error makeError(std::string message, std::optional<uint64_t> offset = std::nullopt) {
    return Error{std::move(message), offset};
}

inline Error makeError(ErrorKind kind, std::string message,
                       std::optional<uint64_t> offset = std::nullopt) {
    return Error{std::move(message), offset, kind};
}

}  // namespace ov
