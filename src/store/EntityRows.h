#pragma once
// The plumbing every entity file shares: running a query with bound parameters and reading its
// rows, and the preamble of every write (open the write transaction, note the entity so that
// the save announces it). Statements come from the connection's cache and are reset before
// returning, so no read snapshot outlives the call. Same threading rule as the context used.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "store/Database.h"
#include "store/StoreContext.h"

namespace pagewell {

class EntityRows {
  public:
    // Every row of `sql`, each turned into a T by `read(Statement&)`.
    template <class T, class Read, class... Args>
    static Result<std::vector<T>> all(StoreContext& context, std::string_view sql, Read read,
                                      const Args&... args) {
        auto prepared = context.database().prepare(sql);
        if (!prepared.ok()) {
            return prepared.error();
        }
        Statement& statement = *prepared.value();
        if constexpr (sizeof...(Args) > 0) {
            statement.bindAll(args...);
        }
        std::vector<T> rows;
        if (Status done = statement.eachRow([&](Statement& row) { rows.push_back(read(row)); });
            !done.ok()) {
            return done.error();
        }
        return rows;
    }

    // The first row of `sql`, or nullopt when there is none.
    template <class T, class Read, class... Args>
    static Result<std::optional<T>> first(StoreContext& context, std::string_view sql, Read read,
                                          const Args&... args) {
        auto prepared = context.database().prepare(sql);
        if (!prepared.ok()) {
            return prepared.error();
        }
        Statement& statement = *prepared.value();
        if constexpr (sizeof...(Args) > 0) {
            statement.bindAll(args...);
        }
        auto row = statement.step();
        if (!row.ok()) {
            statement.reset();
            return row.error();
        }
        std::optional<T> value;
        if (row.value()) {
            value = read(statement);
        }
        statement.reset();
        return value;
    }

    // The integers of the first column of every row (row keys of a relationship).
    template <class... Args>
    static Result<std::vector<std::int64_t>> keys(StoreContext& context, std::string_view sql,
                                                  const Args&... args) {
        return all<std::int64_t>(
            context, sql, [](Statement& row) { return row.integer(0); }, args...);
    }

    // The records of type T whose row keys the query's first column gives, in that order
    // (rows that vanished in between are skipped).
    template <class T, class... Args>
    static Result<std::vector<T>> records(StoreContext& context, std::string_view sql,
                                          const Args&... args) {
        auto found = keys(context, sql, args...);
        if (!found.ok()) {
            return found.error();
        }
        std::vector<T> result;
        for (std::int64_t key : found.value()) {
            auto record = T::find(context, key);
            if (!record.ok()) {
                return record.error();
            }
            if (record.value()) {
                result.push_back(std::move(*record.value()));
            }
        }
        return result;
    }

    // Runs a changing statement inside the context's write transaction and notes the entity.
    template <class... Args>
    static Status write(StoreContext& context, std::string_view entity, std::string_view sql,
                        const Args&... args) {
        if (Status begun = context.beginWrite(); !begun.ok()) {
            return begun;
        }
        auto prepared = context.database().prepare(sql);
        if (!prepared.ok()) {
            return prepared.error();
        }
        Statement& statement = *prepared.value();
        if constexpr (sizeof...(Args) > 0) {
            statement.bindAll(args...);
        }
        Status ran = statement.run();
        statement.reset();
        if (ran.ok()) {
            context.noteChanged(entity);
        }
        return ran;
    }

    // Like write() for an INSERT; gives the new row key.
    template <class... Args>
    static Result<std::int64_t> insert(StoreContext& context, std::string_view entity,
                                       std::string_view sql, const Args&... args) {
        if (Status written = write(context, entity, sql, args...); !written.ok()) {
            return written.error();
        }
        return context.database().lastInsertRowId();
    }
};

}  // namespace pagewell
