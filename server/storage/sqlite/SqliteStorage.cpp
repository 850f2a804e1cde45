#include "storage/sqlite/SqliteStorage.h"

#include "protocol/StatementShapes.h"
#include "statements/BoundedFunctions.h"
#include "statements/ClientTables.h"
#include "statements/Dialect.h"
#include "statements/SqlLexer.h"
#include "statements/StatementGuard.h"
#include "storage/sqlite/SchemaUpgrade.h"
#include "storage/sqlite/SqliteSchema.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

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

// The statement whose added rows this storage places: the notice panel. Its
// plan reads the index on CreateTime backwards, so it answers in the order
// (CreateTime, rowid) descending; a row's place is the count of rows before
// it in that order, both counts read on the same index.
constexpr const char *kPanelShape = "Select * From Notice Where CreateTime>=?Order by CreateTime desc";
constexpr const char *kPanelPlan = "SEARCH Notice USING INDEX Notice_CreateTime (CreateTime>?)";
constexpr const char *kPanelPlaces =
    "SELECT (SELECT count(*) FROM Notice WHERE CreateTime>n.CreateTime)+"
    "(SELECT count(*) FROM Notice WHERE CreateTime=n.CreateTime AND rowid>n.rowid), n.* "
    "FROM Notice n WHERE n.CreateTime>=?1 AND n.rowid IN (SELECT value FROM json_each(?2)) "
    "ORDER BY 1";

constexpr const char *kJournalInsert =
    "INSERT INTO solvane_journal(ChangedAt,ByLogin,ByName,Verb,RowTable,KeyId,KeyContent,"
    "KeyDemander,Changes) VALUES(?,?,?,?,?,?,?,?,?)";

class SqliteSession : public Session {
public:
    SqliteSession(sqlite3 *db, const SqliteLimits &limits, StatementWatchdog &watchdog,
                  ChangeCounters &counters)
        : db_(db), limits_(limits), watchdog_(watchdog), counters_(counters) {
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
        sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, limits_.maxStatementBytes);
        // Bounds what one function call can build, and so what it can cost.
        sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, limits_.maxValueBytes);
        try {
            const std::string cache =
                "PRAGMA cache_size=-" + std::to_string(limits_.sessionCacheBytes >> 10);
            execOrThrow(db_, cache.c_str(), "cannot configure the session");
            functions_ = std::make_unique<BoundedFunctions>(db_);
        } catch (...) {
            sqlite3_close_v2(db_);
            throw;
        }
        sqlite3_set_authorizer(db_, authorizeClientAction, &guard_);
        sqlite3_progress_handler(db_, kOpsBetweenStopChecks, &stopRaised, this);
        sqlite3_update_hook(db_, &noteRowChanged, this);
        rowImages_.watch(db_);
    }
    ~SqliteSession() override {
        functions_.reset();
        sqlite3_close_v2(db_);
    }

    void stopQueriesWhen(const QueryStop *stop) override { stop_ = stop; }

    void beginRequest() override { queriesFrom_.reset(); }
    void beginRequestStartedAt(Clock::time_point started) override { queriesFrom_ = started; }

    StatementResult run(Method method, const std::string &text, RowSink &rows) override {
        StatementResult result;
        if (method != Method::OpenSQL && limits_.readOnly)
            return servedReadOnly();
        guard_.method = method;
        guard_.denial.clear();
        limitMillis_ = method == Method::OpenSQL ? limits_.statementMillis : limits_.writeMillis;
        const bool changes = method != Method::OpenSQL;
        if (changes) {
            unguarded([this] { counters_.changeBegins(db_); });
            startNotingRows();
        }
        guard_.read.clear();
        guard_.changed.clear();
        // A query's time counts from its request's start, its wait for a worker included.
        const Clock::time_point from = changes ? Clock::now() : queriesFrom_.value_or(Clock::now());
        watchdog_.arm(db_, from + std::chrono::milliseconds(limitMillis_));
        execute(method, withDeleteFrom(text), rows, result);
        watchdog_.disarm(db_);
        // Whatever the outcome: a failed statement may still have changed rows.
        if (changes)
            unguarded([&] {
                counters_.changeEnded(db_, guard_.changed, insertedRows(result),
                                      rowImages_.end(result.outcome == Outcome::Ok, result.changes));
            });
        if (changes && result.changes > 0 && changedLogin())
            forgetOldLogins();
        return result;
    }

    StatementResult runChange(const std::vector<ChangeStep> &steps, const ChangeRule &rule,
                              ChangeNotes *notes) override {
        StatementResult result;
        if (limits_.readOnly)
            return servedReadOnly();
        limitMillis_ = limits_.writeMillis;
        unguarded([this] { counters_.changeBegins(db_); });
        startNotingRows();
        guard_.read.clear();
        guard_.changed.clear();
        watchdog_.arm(db_, Clock::now() + std::chrono::milliseconds(limitMillis_));
        // IMMEDIATE: the rule reads the state the statements then change.
        if (trusted("BEGIN IMMEDIATE", result)) {
            checkAndRun(steps, rule, notes, result);
            if (result.outcome != Outcome::Ok || !trusted("COMMIT", result)) {
                StatementResult unused;
                trusted("ROLLBACK", unused);
                result.changes = 0;
            }
        }
        watchdog_.disarm(db_);
        unguarded([&] {
            counters_.changeEnded(db_, guard_.changed, insertedRows(result),
                                  rowImages_.end(result.outcome == Outcome::Ok, result.changes));
        });
        if (result.outcome == Outcome::Ok && result.changes > 0 && changedLogin())
            forgetOldLogins();
        return result;
    }

    void forgetJournalBefore(const std::string &changedAt) override {
        if (limits_.readOnly)
            return;
        unguarded([&] {
            counters_.changeBegins(db_);
            sqlite3_stmt *raw = nullptr;
            if (sqlite3_prepare_v2(db_, "DELETE FROM solvane_journal WHERE ChangedAt<?", -1, &raw,
                                   nullptr) == SQLITE_OK) {
                StatementPtr stmt(raw);
                sqlite3_bind_text(stmt.get(), 1, changedAt.data(), int(changedAt.size()),
                                  SQLITE_STATIC);
                sqlite3_step(stmt.get());
            }
            counters_.changeEnded(db_, {kJournalTable}, nullptr);
        });
    }

    std::optional<std::string> dataVersion(const std::string &text) override {
        const std::vector<std::string> *tables = tablesOf(text);
        if (!tables)
            return std::nullopt;
        return counters_.versionOf(*tables);
    }

    bool placesAddedRows(const std::string &text) override { return panelSince(text).has_value(); }

    StatementResult runAtVersion(const std::string &text, RowSink &rows,
                                 std::optional<std::string> &version) override {
        version.reset();
        const std::vector<std::string> *tables = tablesOf(text);
        std::string pinnedVersion;
        if (!tables || !counters_.pinned(*tables, pinner(), unpinner(), pinnedVersion))
            return run(Method::OpenSQL, text, rows);
        StatementResult result = run(Method::OpenSQL, text, rows);
        unpin();
        if (result.outcome == Outcome::Ok)
            version = std::move(pinnedVersion);
        return result;
    }

    std::optional<std::string> addedRows(const std::string &text, const std::string &since,
                                         PlacedRows &rows) override {
        const std::optional<std::string> panelFrom = panelSince(text);
        const std::vector<std::string> *tables = panelFrom ? tablesOf(text) : nullptr;
        std::string version;
        std::vector<long long> inserted;
        if (!tables || tables->size() != 1 ||
            !counters_.pinnedAfterInserts(tables->front(), since, pinner(), unpinner(), version,
                                          inserted))
            return std::nullopt;
        const bool placed = readsInPanelOrder(text) && placeRows(*panelFrom, inserted, rows);
        unpin();
        if (!placed)
            return std::nullopt;
        return version;
    }

    std::optional<std::string> changedRows(const std::string &text, const std::string &since,
                                           std::vector<ChangedRow> &rows) override {
        const std::vector<std::string> *tables = tablesOf(text);
        std::string version;
        if (!tables || tables->size() != 1 || !scansInRowOrder(text, tables->front()) ||
            !counters_.changedSince(tables->front(), since, version, rows))
            return std::nullopt;
        return version;
    }

    // = and ORDER BY compare text with BINARY, and LIKE folds only ASCII
    // letters (the server never sets case_sensitive_like); a table is scanned
    // in the order of its rowids, a new row taking one past the largest, and
    // the sorter keeps the rows its order leaves tied in the order it read them.
    TextRules textRules() const override { return {true, true, true}; }

private:
    // Whether SQLite answers text by reading table whole in rowid order (and
    // sorting that, when it has an order): rows tied by the order, or all
    // rows without one, then stand in the order they were inserted.
    bool scansInRowOrder(const std::string &text, const std::string &table) {
        auto known = scansInRowOrder_.find(text);
        if (known != scansInRowOrder_.end())
            return known->second;
        bool scans = false, other = false;
        for (const std::string &line : queryPlan(text)) {
            if (!scans && sqlite3_stricmp(line.c_str(), ("SCAN " + table).c_str()) == 0)
                scans = true;
            else if (line != "USE TEMP B-TREE FOR ORDER BY")
                other = true;
        }
        if (scansInRowOrder_.size() >= kRememberedStatements)
            scansInRowOrder_.clear();
        return scansInRowOrder_[text] = scans && !other;
    }

    // The tables a statement reads, remembered; null when it may not be reused.
    const std::vector<std::string> *tablesOf(const std::string &text) {
        auto known = tablesRead_.find(text);
        if (known == tablesRead_.end()) {
            auto tables = tablesReadBy(text);
            if (!tables)
                return nullptr;
            if (tablesRead_.size() >= kRememberedStatements)
                tablesRead_.clear();
            known = tablesRead_.emplace(text, std::move(*tables)).first;
        }
        return &known->second;
    }

    // The panel's first day when text is the notice panel, as the client sends it.
    static std::optional<std::string> panelSince(const std::string &text) {
        auto reduced = StatementShapes::reduce(text);
        if (!reduced || reduced->bareParameter || reduced->shape != kPanelShape ||
            reduced->literals.size() != 1)
            return std::nullopt;
        return std::move(reduced->literals.front());
    }

    // A read of this connection holds the data as it is now, until unpin().
    ChangeCounters::Pin pinner() {
        return [this] {
            StatementResult unused;
            if (!trusted("BEGIN", unused))
                return false;
            if (trusted("SELECT 1 FROM sqlite_schema LIMIT 1", unused))
                return true;
            unpin();
            return false;
        };
    }
    ChangeCounters::Unpin unpinner() {
        return [this] { unpin(); };
    }
    void unpin() {
        StatementResult unused;
        trusted("COMMIT", unused);
    }

    // Whether SQLite answers text in the order the places follow.
    bool readsInPanelOrder(const std::string &text) {
        const std::vector<std::string> plan = queryPlan(text);
        return plan.size() == 1 && plan.front() == kPanelPlan;
    }

    // The lines of the plan SQLite makes for text; none when it cannot.
    std::vector<std::string> queryPlan(const std::string &text) {
        const std::string explain = "EXPLAIN QUERY PLAN " + text;
        std::vector<std::string> lines;
        unguarded([&] {
            sqlite3_stmt *raw = nullptr;
            if (sqlite3_prepare_v2(db_, explain.c_str(), -1, &raw, nullptr) != SQLITE_OK)
                return;
            StatementPtr stmt(raw);
            while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW) {
                const auto *detail =
                    reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 3));
                lines.emplace_back(detail ? detail : "");
            }
        });
        return lines;
    }

    // The inserted rows the panel shows from since, with their places.
    bool placeRows(const std::string &since, const std::vector<long long> &inserted,
                   PlacedRows &rows) {
        std::string keys = "[";
        for (long long rowid : inserted) {
            if (keys.size() > 1)
                keys += ',';
            keys += std::to_string(rowid);
        }
        keys += ']';
        bool ok = false;
        unguarded([&] {
            sqlite3_stmt *raw = nullptr;
            if (sqlite3_prepare_v2(db_, kPanelPlaces, -1, &raw, nullptr) != SQLITE_OK)
                return;
            StatementPtr stmt(raw);
            sqlite3_bind_text(stmt.get(), 1, since.data(), int(since.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt.get(), 2, keys.data(), int(keys.size()), SQLITE_TRANSIENT);
            const int columns = sqlite3_column_count(stmt.get());
            std::vector<CellView> row(size_t(columns - 1));
            int rc;
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
                for (int i = 1; i < columns; ++i) {
                    sqlite3_value *value = sqlite3_column_value(stmt.get(), i);
                    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
                    row[size_t(i - 1)] =
                        text ? CellView(std::string_view(text, size_t(sqlite3_value_bytes(value))))
                             : CellView();
                }
                if (!rows.add(size_t(sqlite3_column_int64(stmt.get(), 0)), row))
                    return;
            }
            ok = rc == SQLITE_DONE;
        });
        return ok;
    }

    // The rows a change inserts, told by SQLite as it makes them.
    void startNotingRows() {
        rowImages_.begin();
        inserted_.clear();
        onlyInserts_ = true;
        insertions_ = 0;
        noting_ = true;
    }
    static void noteRowChanged(void *self, int operation, const char *database, const char *table,
                               sqlite3_int64 rowid) {
        auto &session = *static_cast<SqliteSession *>(self);
        if (!session.noting_)
            return;
        if (operation != SQLITE_INSERT || std::strcmp(database, "main") != 0) {
            session.onlyInserts_ = false;
            return;
        }
        std::string name = table;
        for (char &c : name)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        session.inserted_[name].push_back(rowid);
        ++session.insertions_;
    }
    // What the change just ended inserted, when that is all it did and it was kept.
    const ChangeCounters::Inserted *insertedRows(const StatementResult &result) {
        noting_ = false;
        // A deletion SQLite makes without telling (emptying a table) still counts as changes.
        if (result.outcome != Outcome::Ok || !onlyInserts_ || result.changes > insertions_)
            return nullptr;
        return &inserted_;
    }

    // The server's own statements: no guard, and only their success told.
    bool trusted(const char *sql, StatementResult &result) {
        int rc = SQLITE_OK;
        unguarded([&] { rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); });
        if (rc != SQLITE_OK) {
            fail(rc, result);
            return false;
        }
        return true;
    }

    class Lookup : public RowLookup {
    public:
        explicit Lookup(SqliteSession &session) : session_(session) {}
        LookupRows rows(const std::string &sql) override {
            LookupRows found;
            int rc = SQLITE_OK;
            session_.unguarded([&] { rc = readInto(sql, found); });
            if (rc != SQLITE_DONE)
                throw std::runtime_error(sqlite3_errmsg(session_.db_));
            return found;
        }

    private:
        int readInto(const std::string &sql, LookupRows &found) {
            sqlite3_stmt *raw = nullptr;
            int rc = sqlite3_prepare_v2(session_.db_, sql.c_str(), -1, &raw, nullptr);
            StatementPtr stmt(raw);
            if (rc != SQLITE_OK || !stmt)
                return rc == SQLITE_OK ? SQLITE_ERROR : rc;
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
                auto &row = found.emplace_back();
                for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) {
                    const auto *text =
                        reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), i));
                    row.emplace_back(text ? text : "");
                }
            }
            return rc;
        }

        SqliteSession &session_;
    };

    void checkAndRun(const std::vector<ChangeStep> &steps, const ChangeRule &rule,
                     ChangeNotes *notes, StatementResult &result) {
        Lookup lookup(*this);
        try {
            if (auto why = rule(lookup)) {
                refuse(result, why->text);
                result.code = why->code;
                return;
            }
            if (notes)
                notes->before(lookup);
        } catch (const std::exception &error) {
            result.outcome = Outcome::Failed;
            result.error = std::string("the server could not read the rows to check: ") +
                           error.what();
            return;
        }
        DiscardRows noRows;
        for (const ChangeStep &change : steps) {
            guard_.method = change.method;
            guard_.denial.clear();
            StatementResult one;
            execute(change.method, withDeleteFrom(change.sql), noRows, one);
            if (one.outcome != Outcome::Ok) {
                result = std::move(one);
                return;
            }
            result.changes += one.changes;
        }
        if (notes)
            journal(*notes, lookup, result);
    }

    // The journal's entries go in with the change, or not at all.
    void journal(ChangeNotes &notes, RowLookup &lookup, StatementResult &result) {
        try {
            const std::vector<JournalEntry> entries = notes.after(lookup);
            if (entries.empty())
                return;
            int rc = SQLITE_OK;
            unguarded([&] {
                sqlite3_stmt *raw = nullptr;
                rc = sqlite3_prepare_v2(db_, kJournalInsert, -1, &raw, nullptr);
                StatementPtr stmt(raw);
                for (const JournalEntry &entry : entries) {
                    if (rc != SQLITE_OK)
                        break;
                    int at = 0;
                    for (const std::string *value :
                         {&entry.changedAt, &entry.byLogin, &entry.byName, &entry.verb,
                          &entry.rowTable, &entry.keyId, &entry.keyContent, &entry.keyDemander,
                          &entry.changes})
                        sqlite3_bind_text(stmt.get(), ++at, value->data(), int(value->size()),
                                          SQLITE_STATIC);
                    rc = sqlite3_step(stmt.get()) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
                    sqlite3_reset(stmt.get());
                }
            });
            if (rc != SQLITE_OK)
                throw std::runtime_error(sqlite3_errmsg(db_));
            guard_.changed.emplace_back(kJournalTable);
        } catch (const std::exception &error) {
            result.outcome = Outcome::Failed;
            result.error = std::string("the server could not write its journal: ") + error.what();
        }
    }

    bool changedLogin() const {
        for (const std::string &table : guard_.changed)
            if (sqlite3_stricmp(table.c_str(), "Login") == 0)
                return true;
        return false;
    }

    // A changed password must not stay readable in the write-ahead log, whose
    // old frames outlive the change until the log is emptied: copy the log
    // into the file and empty it. Readers still on an older state may keep
    // it from emptying now; the next change of Login tries again.
    void forgetOldLogins() {
        unguarded([this] {
            sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        });
    }

    // Statements whose tables a session remembers; the client sends a few dozen shapes.
    static constexpr size_t kRememberedStatements = 512;

    // The counters read PRAGMA data_version, which the guard refuses to clients.
    template <class Work> void unguarded(Work work) {
        sqlite3_set_authorizer(db_, nullptr, nullptr);
        work();
        sqlite3_set_authorizer(db_, authorizeClientAction, &guard_);
    }

    // The tables a read-only statement reads, as the authorizer sees it compiled.
    std::optional<std::vector<std::string>> tablesReadBy(const std::string &text) {
        guard_.method = Method::OpenSQL;
        guard_.denial.clear();
        guard_.read.clear();
        guard_.readsClock = false;
        StatementResult result;
        const char *tail = nullptr;
        const std::string sql = withDeleteFrom(text);
        StatementPtr stmt = prepareFirst(sql.c_str(), &tail, result);
        if (!stmt || !sqlite3_stmt_readonly(stmt.get()) || guard_.readsClock)
            return std::nullopt;
        std::vector<std::string> tables = std::move(guard_.read);
        guard_.read.clear();
        std::sort(tables.begin(), tables.end());
        tables.erase(std::unique(tables.begin(), tables.end()), tables.end());
        return tables;
    }

    void execute(Method method, const std::string &sql, RowSink &rows, StatementResult &result) {
        const char *tail = nullptr;
        StatementPtr stmt = prepareFirst(sql.c_str(), &tail, result);
        if (stmt && checkShape(stmt.get(), tail, method, result))
            step(stmt.get(), method, rows, result);
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
    bool checkShape(sqlite3_stmt *stmt, const char *tail, Method method, StatementResult &result) {
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
        if (replacesConflictingRows(sqlite3_sql(stmt)))
            return refuse(result, "REPLACE is not allowed: it deletes the rows it conflicts with");
        const bool readOnly = sqlite3_stmt_readonly(stmt) != 0;
        if (method == Method::OpenSQL && !readOnly)
            return refuse(result, "OpenSQL runs only read-only SELECT statements");
        if (method == Method::ExecSQL && readOnly)
            return refuse(result, "ExecSQL runs only INSERT and UPDATE statements");
        if (method == Method::DelSQL && readOnly)
            return refuse(result, "DelSQL runs only DELETE statements");
        return true;
    }

    void step(sqlite3_stmt *stmt, Method method, RowSink &rows, StatementResult &result) {
        const int columnCount = sqlite3_column_count(stmt);
        std::vector<CellView> row;
        if (method == Method::OpenSQL) {
            std::vector<std::string> columns;
            columns.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                columns.emplace_back(sqlite3_column_name(stmt, i));
            rows.begin(columns);
            row.resize(columnCount);
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (method != Method::OpenSQL)
                continue; // rows of a RETURNING clause are not the caller's business
            // The cell's value read directly: a session's connection serves one
            // worker thread at a time, so the unprotected value is safe to read,
            // and it spares a lookup of the column per call.
            for (int i = 0; i < columnCount; ++i) {
                sqlite3_value *value = sqlite3_column_value(stmt, i);
                const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
                if (text)
                    row[i] = std::string_view(text, sqlite3_value_bytes(value));
                else
                    row[i] = std::nullopt;
            }
            if (!rows.add(row)) {
                result.outcome = Outcome::TooLarge;
                return;
            }
        }
        if (rc != SQLITE_DONE) {
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
            refuse(result,
                   "statement refused: " +
                       (guard_.denial.empty() ? std::string("not authorized") : guard_.denial));
            return;
        }
        result.outcome = Outcome::Failed;
        if (primary == SQLITE_INTERRUPT && stop_ && stop_->raised())
            result.error = "statement stopped: nobody waits for its answer";
        else if (primary == SQLITE_INTERRUPT)
            result.error =
                "statement stopped: it ran longer than " + std::to_string(limitMillis_) + " ms";
        else if (primary == SQLITE_NOMEM)
            result.error = "statement stopped: it needed more memory than the server allows";
        else if (primary == SQLITE_TOOBIG)
            result.error = "statement stopped: a value would be longer than " +
                           std::to_string(limits_.maxValueBytes) + " bytes";
        else
            result.error = sqlite3_errmsg(db_);
    }

    static StatementResult servedReadOnly() {
        StatementResult result;
        refuse(result, "the database is served read-only (--read-only): changes are not made");
        return result;
    }

    static bool refuse(StatementResult &result, std::string why) {
        result.outcome = Outcome::Refused;
        result.error = std::move(why);
        return false;
    }

    // SQLite calls this every kOpsBetweenStopChecks steps of a statement;
    // non-zero interrupts it. Changes run without a stop.
    static constexpr int kOpsBetweenStopChecks = 4096;
    static int stopRaised(void *self) {
        const QueryStop *stop = static_cast<SqliteSession *>(self)->stop_;
        return stop && stop->raised() ? 1 : 0;
    }

    sqlite3 *db_;
    const QueryStop *stop_ = nullptr;
    SqliteLimits limits_;
    StatementWatchdog &watchdog_;
    ChangeCounters &counters_;
    std::unordered_map<std::string, std::vector<std::string>> tablesRead_;
    std::unordered_map<std::string, bool> scansInRowOrder_; // by statement
    RowImages rowImages_; // of the change under way
    ChangeCounters::Inserted inserted_; // by the change under way
    bool onlyInserts_ = true;
    bool noting_ = false;
    long long insertions_ = 0;
    std::unique_ptr<BoundedFunctions> functions_;
    GuardState guard_;
    int limitMillis_ = 0;
    std::optional<Clock::time_point> queriesFrom_; // the request's start, when told
};

} // namespace

long long sessionCacheFor(long long heapLimitBytes, int sessions) {
    const long long share = heapLimitBytes / 4 / std::max(1, sessions);
    return std::clamp(share, 256LL << 10, 2LL << 20);
}

SqliteStorage::SqliteStorage(std::string path, SqliteLimits limits)
    : path_(std::move(path)), limits_(limits) {
    sqlite3_hard_heap_limit64(limits_.heapLimitBytes);
    if (!limits_.readOnly)
        requireWritable();
    if (limits_.readOnly) {
        // A WAL file in a folder the server may not write has no shared index
        // to read through: it is then read as a file nobody changes.
        for (bool immutable : {false, true}) {
            immutable_ = immutable;
            sqlite3 *db = nullptr;
            try {
                db = openTrustedConnection();
                execOrThrow(db, "SELECT 1 FROM Login, Programe, Task, Notice LIMIT 0",
                            "cannot read the tables of " + path_);
                sqlite3_close_v2(db);
                break;
            } catch (...) {
                sqlite3_close_v2(db);
                if (immutable)
                    throw;
            }
        }
        if (immutable_)
            std::fprintf(stderr,
                         "solvane-server: %s is read as a file nobody changes: its folder "
                         "cannot hold the write-ahead index\n",
                         path_.c_str());
        counters_ = std::make_unique<ChangeCounters>(openTrustedConnection());
        return;
    }
    sqlite3 *db = openTrustedConnection();
    if (sqlite3_db_readonly(db, "main") == 1) {
        sqlite3_close_v2(db);
        throw std::runtime_error(notWritable("SQLite opened it read-only"));
    }
    try {
        execOrThrow(db, "PRAGMA journal_mode=WAL", "cannot switch " + path_ + " to WAL");
        execOrThrow(db, kSchemaSql, "cannot create the tables in " + path_);
        upgradeSchema(db);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    sqlite3_close_v2(db);
    counters_ = std::make_unique<ChangeCounters>(openTrustedConnection());
}

std::string SqliteStorage::notWritable(const std::string &why) const {
    return "the database " + path_ + " cannot be written (" + why +
           "): give the server a file and folder it may write, or start it with --read-only to "
           "serve queries only";
}

// The file, and its folder for the write-ahead log and the journal: a change
// that would fail on either is refused at start, not member by member.
void SqliteStorage::requireWritable() const {
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path_.substr(0, slash);
    if (access(path_.c_str(), F_OK) == 0 && access(path_.c_str(), W_OK) != 0)
        throw std::runtime_error(notWritable("the file is read-only for this user"));
    if (access(folder.c_str(), W_OK) != 0)
        throw std::runtime_error(notWritable("its folder is read-only for this user"));
}

sqlite3 *SqliteStorage::openTrustedConnection() const {
    sqlite3 *db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    std::string name = path_;
    if (limits_.readOnly) {
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
        name = "file:";
        for (char c : path_) {
            if (c == '%' || c == '?' || c == '#') {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X",
                              unsigned(static_cast<unsigned char>(c)));
                name += escaped;
            } else {
                name += c;
            }
        }
        name += immutable_ ? "?immutable=1" : "?mode=ro";
    }
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw std::runtime_error("cannot open database " + path_ + ": " + message);
    }
    sqlite3_busy_timeout(db, limits_.busyTimeoutMillis);
    sqlite3_extended_result_codes(db, 1);
    try {
        // Every write the server confirms must survive a crash of the machine.
        if (!limits_.readOnly)
            execOrThrow(db, "PRAGMA synchronous=FULL", "cannot configure " + path_);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    return db;
}

std::unique_ptr<Session> SqliteStorage::openSession() {
    return std::make_unique<SqliteSession>(openTrustedConnection(), limits_, watchdog_, *counters_);
}

} // namespace appserver
