#pragma once
// Small read helpers of the importer over the store's prepared statements: the first column
// of every row as keys, or the first two as (key, optional server ID) pairs. They run in the
// context given, inside the import's transaction.
//
// Threading: as the context (one thread at a time).

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "store/Database.h"
#include "store/StoreContext.h"

namespace pagewell {

class ImportQueries {
  public:
    using KeyAndID = std::pair<std::int64_t, std::optional<std::int64_t>>;

    template <class... Args>
    static Result<std::vector<std::int64_t>> keys(StoreContext& context, std::string_view sql,
                                                  const Args&... args) {
        auto statement = context.database().prepare(sql);
        if (!statement.ok()) {
            return statement.error();
        }
        if constexpr (sizeof...(Args) > 0) {
            statement.value()->bindAll(args...);
        }
        std::vector<std::int64_t> rows;
        while (true) {
            auto row = statement.value()->step();
            if (!row.ok()) {
                statement.value()->reset();
                return row.error();
            }
            if (!row.value()) {
                break;
            }
            rows.push_back(statement.value()->integer(0));
        }
        statement.value()->reset();
        return rows;
    }

    template <class... Args>
    static Result<std::vector<KeyAndID>> keysWithIDs(StoreContext& context, std::string_view sql,
                                                     const Args&... args) {
        auto statement = context.database().prepare(sql);
        if (!statement.ok()) {
            return statement.error();
        }
        if constexpr (sizeof...(Args) > 0) {
            statement.value()->bindAll(args...);
        }
        std::vector<KeyAndID> rows;
        while (true) {
            auto row = statement.value()->step();
            if (!row.ok()) {
                statement.value()->reset();
                return row.error();
            }
            if (!row.value()) {
                break;
            }
            rows.emplace_back(statement.value()->integer(0), statement.value()->optionalInteger(1));
        }
        statement.value()->reset();
        return rows;
    }
};

}  // namespace pagewell
