#pragma once
// A thin RAII layer over one SQLite connection: prepared statements with bound parameters
// (never SQL built from values), a statement cache, and SQLite failures turned into Error
// values. A Database and its statements belong to one thread at a time (the owner of the
// store context that holds them).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pagewell {

class Database;

// One prepared statement. Bind parameters are 1-based, columns 0-based, as in SQLite.
class Statement {
  public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& bindNull(int index);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    Statement& bind(int index, bool value) { return bind(index, std::int64_t{value ? 1 : 0}); }
    Statement& bind(int index, double value);
    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, const std::string& text) {
        return bind(index, std::string_view(text));
    }
    Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    Statement& bind(int index, SystemTime time);  // stored as seconds since 1970 (REAL)
    Statement& bindBlob(int index, std::string_view bytes);
    template <class T>
    Statement& bind(int index, const std::optional<T>& value) {
        return value ? bind(index, *value) : bindNull(index);
    }

    // Binds every argument in order from parameter 1.
    template <class... Args>
    Statement& bindAll(const Args&... args) {
        int index = 0;
        (bind(++index, args), ...);
        return *this;
    }

    // Advances to the next row: true with a row, false when done, or an error.
    Result<bool> step();
    // Runs a statement that returns no rows to completion.
    Status run();
    // Calls `read` with each row in turn, then resets the statement (after an error too), so
    // no read snapshot outlives the call.
    Status eachRow(const std::function<void(Statement&)>& read);
    void reset();

    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::string blob(int column) const;
    std::optional<std::int64_t> optionalInteger(int column) const;
    std::optional<double> optionalReal(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::optional<SystemTime> optionalTime(int column) const;
    bool boolean(int column) const { return integer(column) != 0; }

  private:
    friend class Database;
    Statement(sqlite3_stmt* statement, sqlite3* connection);

    sqlite3_stmt* statement_ = nullptr;
    sqlite3* connection_ = nullptr;  // for error texts; owned by the Database
    std::optional<Error> bindError_;
};

class Database {
  public:
    struct Options {
        int busyTimeoutMilliseconds = 15'000;
        bool readOnly = false;
    };

    // Opens (creating when missing) the file in WAL mode with foreign keys on.
    static Result<std::unique_ptr<Database>> open(const std::filesystem::path& path,
                                                  const Options& options);
    static Result<std::unique_ptr<Database>> open(const std::filesystem::path& path) {
        return open(path, Options{});
    }
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // A cached statement for `sql`, reset and with bindings cleared. The reference stays valid
    // for the life of the Database; do not use the same SQL text twice in one nested loop.
    Result<Statement*> prepare(std::string_view sql);
    // Runs one or more statements without parameters (schema, pragmas, transactions).
    Status exec(std::string_view sql);
    // Runs a parameterised statement that returns no rows.
    template <class... Args>
    Status run(std::string_view sql, const Args&... args) {
        auto statement = prepare(sql);
        if (!statement.ok()) {
            return statement.error();
        }
        return statement.value()->bindAll(args...).run();
    }

    // A text order the queries name with "COLLATE name", and a one-argument text function
    // they call as "name(x)" (NULL in, NULL out). Both live as long as the Database; naming
    // one again replaces it. Register before preparing the statements that use them.
    using Collation = std::function<int(std::string_view, std::string_view)>;
    using TextFunction = std::function<std::string(std::string_view)>;
    Status addCollation(const std::string& name, Collation compare);
    Status addTextFunction(const std::string& name, TextFunction function);
    bool hasCollation(std::string_view name) const { return collations_.count(name) > 0; }
    bool hasTextFunction(std::string_view name) const { return functions_.count(name) > 0; }

    std::int64_t lastInsertRowId() const;
    int changes() const;
    bool inTransaction() const;
    const std::filesystem::path& path() const { return path_; }

    static constexpr const char* kErrorDomain = "SQLiteErrorDomain";
    Error lastError(std::string_view context) const;

  private:
    Database(sqlite3* connection, std::filesystem::path path);

    sqlite3* connection_ = nullptr;
    std::filesystem::path path_;
    // Declared before the statement cache: destroyed after the connection closes.
    std::map<std::string, std::unique_ptr<Collation>, std::less<>> collations_;
    std::map<std::string, std::unique_ptr<TextFunction>, std::less<>> functions_;
    std::map<std::string, std::unique_ptr<Statement>, std::less<>> cache_;
};

}  // namespace pagewell
