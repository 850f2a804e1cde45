#include "sqlite_storage.h"

#include "dialect.h"
#include "schema.h"
#include "schema_upgrade.h"
#include "statement_guard.h"

#include <sqlite3.h>

#include <chrono>
#include <stdexcept>

namespace appserver {
namespace {

using Clock = std::chrono::steady_clock;

struct StatementDeleter {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

void execOrThrow(sqlite3 *db, const char *sql, const std::string &what) {
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = what + ": " + (message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

class SqliteSession : public Session {
public:
    SqliteSession(sqlite3 *db, const SqliteLimits &limits) : db_(db), limits_(limits) {
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
        sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, limits_.maxStatementBytes);
        sqlite3_set_authorizer(db_, authorizeClientAction, &guard_);
        sqlite3_progress_handler(db_, 1000, &SqliteSession::onProgress, this);
    }
    ~SqliteSession() override { sqlite3_close_v2(db_); }

    StatementResult run(Method method, const std::string &text) override {
        StatementResult result;
        guard_.method = method;
        guard_.denial.clear();
        deadline_ = Clock::now() + std::chrono::milliseconds(limits_.statementMillis);

        const std::string sql = withDeleteFrom(text);
        const char *tail = nullptr;
        StatementPtr stmt = prepareFirst(sql.c_str(), &tail, result);
        if (!stmt)
            return result;
        if (!checkShape(stmt.get(), tail, method, result))
            return result;
        step(stmt.get(), method, result);
        return result;
    }

private:
    static int onProgress(void *self) {
        return Clock::now() > static_cast<SqliteSession *>(self)->deadline_ ? 1 : 0;
    }

    // Prepares the first real statement, skipping empty ones (lone semicolons).
    StatementPtr prepareFirst(const char *sql, const char **tail, StatementResult &result) {
        const char *cursor = sql;
        while (*cursor) {
            sqlite3_stmt *raw = nullptr;
            int rc = sqlite3_prepare_v2(db_, cursor, -1, &raw, tail);
            StatementPtr stmt(raw);
            if (rc != SQLITE_OK) {
                fail(rc, result);
                return nullptr;
            }
            if (stmt)
                return stmt;
            if (*tail == cursor)
                break;
            cursor = *tail;
        }
        result.outcome = Outcome::Empty;
        result.error = "the request holds no SQL statement";
        return nullptr;
    }

    // One statement per request, of the kind its method runs.
    bool checkShape(sqlite3_stmt *stmt, const char *tail, Method method,
                    StatementResult &result) {
        while (*tail) {
            sqlite3_stmt *raw = nullptr;
            const char *next = nullptr;
            int rc = sqlite3_prepare_v2(db_, tail, -1, &raw, &next);
            StatementPtr further(raw);
            if (rc != SQLITE_OK || further)
                return refuse(result, "only one statement per request is allowed");
            if (next == tail)
                break;
            tail = next;
        }
        if (sqlite3_stmt_isexplain(stmt))
            return refuse(result, "EXPLAIN is not allowed");
        const bool readOnly = sqlite3_stmt_readonly(stmt) != 0;
        if (method == Method::OpenSQL && !readOnly)
            return refuse(result, "OpenSQL runs only read-only SELECT statements");
        if (method == Method::ExecSQL && readOnly)
            return refuse(result, "ExecSQL runs only INSERT and UPDATE statements");
        if (method == Method::DelSQL && readOnly)
            return refuse(result, "DelSQL runs only DELETE statements");
        return true;
    }

    void step(sqlite3_stmt *stmt, Method method, StatementResult &result) {
        const int columnCount = sqlite3_column_count(stmt);
        if (method == Method::OpenSQL) {
            result.columns.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                result.columns.emplace_back(sqlite3_column_name(stmt, i));
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (method != Method::OpenSQL)
                continue; // rows of a RETURNING clause are not the caller's business
            std::vector<Cell> row;
            row.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i) {
                const auto *text = sqlite3_column_text(stmt, i);
                if (text)
                    row.emplace_back(std::string(reinterpret_cast<const char *>(text),
                                                 sqlite3_column_bytes(stmt, i)));
                else
                    row.emplace_back(std::nullopt);
            }
            result.rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            result.rows.clear();
            fail(rc, result);
            return;
        }
        if (method != Method::OpenSQL)
            result.changes = sqlite3_changes64(db_);
    }

    void fail(int rc, StatementResult &result) {
        const int primary = rc & 0xff;
        // Some denials (functions) come back as a plain error, hence the note.
        if (primary == SQLITE_AUTH || !guard_.denial.empty()) {
            refuse(result, "statement refused: " +
                               (guard_.denial.empty() ? std::string("not authorized")
                                                      : guard_.denial));
            return;
        }
        result.outcome = Outcome::Failed;
        if (primary == SQLITE_INTERRUPT)
            result.error = "statement stopped: it ran longer than " +
                           std::to_string(limits_.statementMillis) + " ms";
        else if (primary == SQLITE_NOMEM)
            result.error = "statement stopped: it needed more memory than the server allows";
        else
            result.error = sqlite3_errmsg(db_);
    }

    static bool refuse(StatementResult &result, std::string why) {
        result.outcome = Outcome::Refused;
        result.error = std::move(why);
        return false;
    }

    sqlite3 *db_;
    SqliteLimits limits_;
    GuardState guard_;
    Clock::time_point deadline_;
};

} // namespace

SqliteStorage::SqliteStorage(std::string path, SqliteLimits limits)
    : path_(std::move(path)), limits_(limits) {
    sqlite3_hard_heap_limit64(limits_.heapLimitBytes);
    sqlite3 *db = openTrustedConnection();
    try {
        execOrThrow(db, "PRAGMA journal_mode=WAL", "cannot switch " + path_ + " to WAL");
        execOrThrow(db, kSchemaSql, "cannot create the tables in " + path_);
        upgradeSchema(db);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    sqlite3_close_v2(db);
}

sqlite3 *SqliteStorage::openTrustedConnection() const {
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path_.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw std::runtime_error("cannot open database " + path_ + ": " + message);
    }
    sqlite3_busy_timeout(db, limits_.busyTimeoutMillis);
    sqlite3_extended_result_codes(db, 1);
    try {
        // Every write the server confirms must survive a crash of the machine.
        execOrThrow(db, "PRAGMA synchronous=FULL", "cannot configure " + path_);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    return db;
}

std::unique_ptr<Session> SqliteStorage::openSession() {
    return std::make_unique<SqliteSession>(openTrustedConnection(), limits_);
}

} // namespace appserver
