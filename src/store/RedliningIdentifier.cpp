#include "store/RedliningIdentifier.h"

#include <fmt/format.h>

namespace pagewell {

std::string RedliningIdentifier::forFile(std::int32_t fileCmsID, std::string_view userName) {
    return fmt::format("{}_{}", fileCmsID, userName);
}

std::string RedliningIdentifier::forShareFile(std::string_view redliningSalt,
                                              std::int32_t fileCmsID, std::string_view userName) {
    return fmt::format("{}_{}_{}", redliningSalt, fileCmsID, userName);
}

}  // namespace pagewell
