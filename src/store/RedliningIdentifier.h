#pragma once
// The identifiers under which a user's annotation set is saved: one per (file, user) and one
// per link-basket item, whose salt keeps its copy apart from the user's own set of the file.
// They are keys, not file names: where one becomes part of a path it goes through
// RedliningFileName. Stateless.

#include <cstdint>
#include <string>
#include <string_view>

namespace pagewell {

class RedliningIdentifier {
  public:
    // "<cmsID>_<userName>"
    static std::string forFile(std::int32_t fileCmsID, std::string_view userName);
    // "<salt>_<cmsID>_<userName>"
    static std::string forShareFile(std::string_view redliningSalt, std::int32_t fileCmsID,
                                    std::string_view userName);
};

}  // namespace pagewell
