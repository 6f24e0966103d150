#pragma once
// The one error value of Pagewell: a domain, an integer code and a readable description, plus
// what the server itself said about the failure when its answer carried a message.
// Errors travel as values (Result<T>); exceptions never cross a module boundary.

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace pagewell {

struct Error {
    std::string domain;
    int code = 0;
    std::string description;
    // The message of the server's own failure answer (a maintenance notice, a refusal's reason):
    // one line, control characters removed, bounded in length. Empty when it gave none. Shown
    // under the description; never logged in place of it.
    std::string serverMessage;

    static Error make(std::string domain, int code, std::string description) {
        return Error{std::move(domain), code, std::move(description), {}};
    }
    // An operating-system failure: domain "POSIXErrorDomain", the errno value as code and
    // strerror text, prefixed with what was being done when a context is given.
    static Error fromErrno(int errnoValue, const std::string& context = {});

    // "Error[code]: description", the form in which failures are logged.
    std::string toString() const;

    bool operator==(const Error&) const = default;
};

inline constexpr const char* kAppErrorDomain = "VXErrorDomain";
inline constexpr const char* kPosixErrorDomain = "POSIXErrorDomain";

// Either a value or an Error. Cheap to move; check ok() before value().
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    T valueOr(T fallback) const { return ok() ? std::get<0>(state_) : std::move(fallback); }

    const Error& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

  private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const {
        assert(!ok());
        return *error_;
    }

  private:
    std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace pagewell
