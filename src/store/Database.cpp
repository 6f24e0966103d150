#include "store/Database.h"

#include <sqlite3.h>

#include <cmath>

namespace pagewell {

namespace {

Error sqliteError(sqlite3* connection, int code, std::string_view context) {
    std::string message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
    return Error::make(Database::kErrorDomain, code, std::string(context) + ": " + message);
}

double secondsSinceEpoch(SystemTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

}  // namespace

Statement::Statement(sqlite3_stmt* statement, sqlite3* connection)
    : statement_(statement), connection_(connection) {}

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)),
      connection_(other.connection_),
      bindError_(std::move(other.bindError_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
        connection_ = other.connection_;
        bindError_ = std::move(other.bindError_);
    }
    return *this;
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

namespace {
void noteBind(int rc, sqlite3* connection, std::optional<Error>& slot) {
    if (rc != SQLITE_OK && !slot) {
        slot = sqliteError(connection, rc, "cannot bind a parameter");
    }
}
}  // namespace

Statement& Statement::bindNull(int index) {
    noteBind(sqlite3_bind_null(statement_, index), connection_, bindError_);
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    noteBind(sqlite3_bind_int64(statement_, index, value), connection_, bindError_);
    return *this;
}

Statement& Statement::bind(int index, double value) {
    noteBind(sqlite3_bind_double(statement_, index, value), connection_, bindError_);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    noteBind(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8),
             connection_, bindError_);
    return *this;
}

Statement& Statement::bind(int index, SystemTime time) {
    return bind(index, secondsSinceEpoch(time));
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
    noteBind(sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT),
             connection_, bindError_);
    return *this;
}

Result<bool> Statement::step() {
    if (bindError_) {
        return *bindError_;
    }
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    Error error = sqliteError(connection_, rc, "statement failed");
    sqlite3_reset(statement_);
    return error;
}

Status Statement::run() {
    for (;;) {
        auto row = step();
        if (!row.ok()) {
            return row.error();
        }
        if (!row.value()) {
            return {};
        }
    }
}

Status Statement::eachRow(const std::function<void(Statement&)>& read) {
    for (;;) {
        auto row = step();
        if (!row.ok()) {
            reset();
            return row.error();
        }
        if (!row.value()) {
            break;
        }
        read(*this);
    }
    reset();
    return {};
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    bindError_.reset();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::string Statement::text(int column) const {
    const auto* data = sqlite3_column_text(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size))
                : std::string();
}

std::string Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                : std::string();
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
    return isNull(column) ? std::nullopt : std::optional(integer(column));
}

std::optional<double> Statement::optionalReal(int column) const {
    return isNull(column) ? std::nullopt : std::optional(real(column));
}

std::optional<std::string> Statement::optionalText(int column) const {
    return isNull(column) ? std::nullopt : std::optional(text(column));
}

std::optional<SystemTime> Statement::optionalTime(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    double seconds = real(column);
    if (!std::isfinite(seconds)) {
        return std::nullopt;
    }
    return SystemTime(
        std::chrono::duration_cast<SystemTime::duration>(std::chrono::duration<double>(seconds)));
}

Database::Database(sqlite3* connection, std::filesystem::path path)
    : connection_(connection), path_(std::move(path)) {}

namespace {

int compareText(void* context, int leftSize, const void* left, int rightSize, const void* right) {
    const auto& compare = *static_cast<const Database::Collation*>(context);
    try {
        return compare(
            std::string_view(static_cast<const char*>(left), static_cast<std::size_t>(leftSize)),
            std::string_view(static_cast<const char*>(right), static_cast<std::size_t>(rightSize)));
    } catch (...) {
        // SQLite cannot carry an exception; bytewise order keeps the sort consistent.
        return std::string_view(static_cast<const char*>(left), static_cast<std::size_t>(leftSize))
            .compare(std::string_view(static_cast<const char*>(right),
                                      static_cast<std::size_t>(rightSize)));
    }
}

void callTextFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const int size = sqlite3_value_bytes(arguments[0]);
    const auto& function = *static_cast<const Database::TextFunction*>(sqlite3_user_data(context));
    try {
        std::string result = function(std::string_view(text, static_cast<std::size_t>(size)));
        sqlite3_result_text(context, result.data(), static_cast<int>(result.size()),
                            SQLITE_TRANSIENT);
    } catch (const std::exception& error) {
        sqlite3_result_error(context, error.what(), -1);
    } catch (...) {
        sqlite3_result_error(context, "text function failed", -1);
    }
}

}  // namespace

Status Database::addCollation(const std::string& name, Collation compare) {
    auto owned = std::make_unique<Collation>(std::move(compare));
    const int rc = sqlite3_create_collation_v2(connection_, name.c_str(), SQLITE_UTF8, owned.get(),
                                               compareText, nullptr);
    if (rc != SQLITE_OK) {
        return sqliteError(connection_, rc, "collation " + name);
    }
    collations_[name] = std::move(owned);
    return {};
}

Status Database::addTextFunction(const std::string& name, TextFunction function) {
    auto owned = std::make_unique<TextFunction>(std::move(function));
    const int rc =
        sqlite3_create_function_v2(connection_, name.c_str(), 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   owned.get(), callTextFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return sqliteError(connection_, rc, "function " + name);
    }
    functions_[name] = std::move(owned);
    return {};
}

Database::~Database() {
    cache_.clear();  // statements must be finalised before the connection closes
    sqlite3_close_v2(connection_);
}

Result<std::unique_ptr<Database>> Database::open(const std::filesystem::path& path,
                                                 const Options& options) {
    sqlite3* connection = nullptr;
    int flags =
        options.readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    flags |= SQLITE_OPEN_NOMUTEX;  // one thread at a time uses a connection
    int rc = sqlite3_open_v2(path.c_str(), &connection, flags, nullptr);
    if (rc != SQLITE_OK) {
        Error error = sqliteError(connection, rc, "cannot open " + path.string());
        sqlite3_close_v2(connection);
        return error;
    }
    std::unique_ptr<Database> database(new Database(connection, path));
    sqlite3_busy_timeout(connection, options.busyTimeoutMilliseconds);
    sqlite3_extended_result_codes(connection, 1);
    Status configured = database->exec(
        "PRAGMA foreign_keys = ON;"
        "PRAGMA synchronous = NORMAL;");
    if (configured.ok() && !options.readOnly) {
        configured = database->exec("PRAGMA journal_mode = WAL;");
    }
    if (!configured.ok()) {
        return configured.error();
    }
    return database;
}

Result<Statement*> Database::prepare(std::string_view sql) {
    if (auto it = cache_.find(sql); it != cache_.end()) {
        it->second->reset();
        return it->second.get();
    }
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v3(connection_, sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    if (rc != SQLITE_OK) {
        return sqliteError(connection_, rc, "cannot prepare statement");
    }
    auto statement = std::unique_ptr<Statement>(new Statement(raw, connection_));
    Statement* pointer = statement.get();
    cache_.emplace(std::string(sql), std::move(statement));
    return pointer;
}

Status Database::exec(std::string_view sql) {
    std::string text(sql);
    char* message = nullptr;
    int rc = sqlite3_exec(connection_, text.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::string detail = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        return Error::make(kErrorDomain, rc, "statement failed: " + detail);
    }
    return {};
}

std::int64_t Database::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(connection_);
}

int Database::changes() const {
    return sqlite3_changes(connection_);
}

bool Database::inTransaction() const {
    return sqlite3_get_autocommit(connection_) == 0;
}

Error Database::lastError(std::string_view context) const {
    return sqliteError(connection_, sqlite3_errcode(connection_), context);
}

}  // namespace pagewell
