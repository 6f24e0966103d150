#pragma once
// A condition over the shelf's rows as SQL: a boolean expression over "s" (the FileState) and
// "f" (its File), with "?" placeholders and their values in order. The values are always
// bound, never written into the text.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class Statement;

struct ShelfPredicate {
    using Argument = std::variant<std::int64_t, double, std::string>;

    std::string sql;
    std::vector<Argument> arguments;

    // Binds the arguments from parameter `first` on; gives the next free parameter.
    int bindTo(Statement& statement, int first = 1) const;
    // The text with each placeholder replaced by its value as an SQL literal, for reading.
    std::string printed() const;

    static ShelfPredicate falsePredicate() { return {"0", {}}; }
};

}  // namespace pagewell
