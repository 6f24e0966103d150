#pragma once
// File and category ids as a person reads them in a command's text: a short list whole, a long
// one (the first sync of a large catalogue adds tens of thousands) cut after its first ids with
// how many more there are. --json documents keep every id.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pagewell::cli {

class IdList {
  public:
    static constexpr std::size_t kShown = 20;

    // "1, 2, 3"; past kShown ids the first kShown and how many more: "1, 2, …, 20 and 19980 more".
    static std::string text(const std::vector<std::int64_t>& ids);
};

}  // namespace pagewell::cli
