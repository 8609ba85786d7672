#pragma once
// The one way a step reports a failure across module boundaries: the kind of failure, so a caller
// can tell a file that could not be read from an archive that could not be written, and what
// happened in words for the log. Look-ups that may find nothing return std::optional instead;
// a step that yields a value on success returns Result<T>.
#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace kestrine {

enum class Failure : uint8_t {
    None,
    NotFound,       // a key, value, file or folder that is not there
    AccessDenied,   // there, but the user may not read or change it
    Unreadable,     // a source that could not be read (locked, read error)
    WriteFailed,    // a target that could not be written (full disk, device gone, refused)
    Damaged,        // malformed or altered input: not what this program wrote
    WrongPassword,  // the password does not fit
    Unsupported,    // a method or version that is not read here
    Cancelled,      // the user (or the run's observer) said stop
    Busy,           // in use elsewhere: another run, a program holding the file
    NotReady,       // called in the wrong state or with a bad argument
};

class [[nodiscard]] Status {
  public:
    Status() = default;  // success
    static Status Ok() { return {}; }
    static Status Fail(Failure kind, std::string message = {}) {
        assert(kind != Failure::None);
        Status failed;
        failed.kind_ = kind == Failure::None ? Failure::NotReady : kind;
        failed.message_ = std::move(message);
        return failed;
    }
    bool ok() const { return kind_ == Failure::None; }
    explicit operator bool() const { return ok(); }
    Failure kind() const { return kind_; }
    const std::string& message() const { return message_; }

  private:
    Failure kind_ = Failure::None;
    std::string message_;
};

// A value, or the failure that kept it from being made.
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}           // NOLINT: a value converts to a success
    Result(Status failure) : status_(std::move(failure)) {  // NOLINT: so does a failure
        assert(!status_.ok());
        if (status_.ok()) status_ = Status::Fail(Failure::NotReady, "no value");
    }
    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Status& status() const { return status_; }
    // Reading the value of a failure is a programming error: it stops loudly.
    const T& value() const& { return value_.value(); }
    T& value() & { return value_.value(); }
    T&& value() && { return std::move(value_).value(); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

  private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace kestrine
