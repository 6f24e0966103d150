#include "library/ShelfPredicate.h"

#include <cstdio>

#include "store/Database.h"

namespace pagewell {

int ShelfPredicate::bindTo(Statement& statement, int first) const {
    int index = first;
    for (const Argument& argument : arguments) {
        std::visit([&](const auto& value) { statement.bind(index, value); }, argument);
        ++index;
    }
    return index;
}

std::string ShelfPredicate::printed() const {
    std::string text;
    std::size_t next = 0;
    for (char c : sql) {
        if (c != '?' || next >= arguments.size()) {
            text += c;
            continue;
        }
        const Argument& argument = arguments[next++];
        if (const auto* number = std::get_if<std::int64_t>(&argument)) {
            text += std::to_string(*number);
        } else if (const auto* real = std::get_if<double>(&argument)) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.3f", *real);
            text += buffer;
        } else {
            text += '\'';
            for (char t : std::get<std::string>(argument)) {
                text += t;
                if (t == '\'') {
                    text += '\'';
                }
            }
            text += '\'';
        }
    }
    return text;
}

}  // namespace pagewell
