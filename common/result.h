#pragma once
// A small result type: either a value or an Error that says what went wrong and,
// for file formats, at which byte.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace ov {

struct Error {
    std::string message;
    // Byte offset in the input where the fault was found, when it comes from a file format.
    std::optional<uint64_t> offset;

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

// For operations that produce nothing but can fail.
using Status = std::optional<Error>;

inline Error makeError(std::string message, std::optional<uint64_t> offset = std::nullopt) {
    return Error{std::move(message), offset};
}

}  // namespace ov
