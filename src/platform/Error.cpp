#include "platform/Error.h"

#include <cstring>

namespace pagewell {

Error Error::fromErrno(int errnoValue, const std::string& context) {
    std::string text = std::strerror(errnoValue);
    if (!context.empty()) {
        text = context + ": " + text;
    }
    return Error{kPosixErrorDomain, errnoValue, std::move(text), {}};
}

std::string Error::toString() const {
    return "Error[" + std::to_string(code) + "]: " + description;
}

}  // namespace pagewell
