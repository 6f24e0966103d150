#include "cli/IdList.h"

#include <fmt/format.h>

#include <algorithm>

namespace pagewell::cli {

std::string IdList::text(const std::vector<std::int64_t>& ids) {
    const std::size_t shown = std::min(ids.size(), kShown);
    std::string text = fmt::format(
        "{}", fmt::join(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(shown), ", "));
    if (ids.size() > shown) {
        text += fmt::format(" and {} more", ids.size() - shown);
    }
    return text;
}

}  // namespace pagewell::cli
