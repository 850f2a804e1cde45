#include "PgStorage.h"

#include "PgChangeCounters.h"
#include "PgConnection.h"
#include "PgSchema.h"
#include "PgStatement.h"

#include <cstdlib>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace appserver {
namespace {

class PgSession : public Session {
public:
    PgSession(const std::string &conninfo, const PgLimits &limits)
        : conn_(connectPostgres(conninfo)), limits_(limits) {
        execOrThrow(conn_.get(),
                    "SET idle_in_transaction_session_timeout = " +
                        std::to_string(limits_.idleInTransactionMillis),
                    "cannot configure the PostgreSQL session");
    }

    StatementResult run(Method method, const std::string &sql, RowSink &rows) override {
        StatementResult result;
        const PgStatement statement =
            method == Method::OpenSQL ? translatedRead(sql) : translateForPostgres(method, sql);
        if (statement.outcome != Outcome::Ok) {
            result.outcome = statement.outcome;
            result.error = statement.error;
            return result;
        }
        limitMillis_ = method == Method::OpenSQL ? limits_.statementMillis : limits_.writeMillis;
        if (!reconnectIfLost(result) || !setMode(method == Method::OpenSQL, result))
            return result;
        if (!PQsendQueryParams(conn_.get(), statement.text.c_str(), 0, nullptr, nullptr, nullptr,
                               nullptr, 0)) {
            failed(result, PQerrorMessage(conn_.get()));
            return result;
        }
        // Rows reach the sink as they come, so what the server holds stays
        // bounded whatever a statement gives, and the answer is written while
        // PostgreSQL still sends. Reading the result whole would spare libpq a
        // result per row, but the answer would then be written only after the
        // last row: measured no faster through the server on bench_pg's department.
        if (method == Method::OpenSQL)
            PQsetSingleRowMode(conn_.get());
        collect(method, rows, result);
        return result;
    }

    StatementResult runChange(const std::vector<ChangeStep> &steps,
                              const ChangeRule &rule) override {
        StatementResult result;
        std::vector<std::pair<Method, PgStatement>> statements;
        for (const ChangeStep &change : steps) {
            statements.emplace_back(change.method, translateForPostgres(change.method, change.sql));
            if (statements.back().second.outcome != Outcome::Ok) {
                result.outcome = statements.back().second.outcome;
                result.error = statements.back().second.error;
                return result;
            }
        }
        limitMillis_ = limits_.writeMillis;
        if (!reconnectIfLost(result) || !setMode(false, result))
            return result;
        // One snapshot for the rule and the statements: a row changed by
        // anyone else meanwhile makes the change fail instead of passing unseen.
        if (!command("BEGIN ISOLATION LEVEL REPEATABLE READ", result))
            return result;
        checkAndRun(statements, rule, result);
        if (result.outcome != Outcome::Ok || !command("COMMIT", result)) {
            StatementResult unused;
            command("ROLLBACK", unused);
            result.changes = 0;
        }
        return result;
    }

    void beginRequest() override { counters_.requestBegins(); }

    std::optional<std::string> dataVersion(const std::string &sql) override {
        const PgStatement &statement = translatedRead(sql);
        if (statement.outcome != Outcome::Ok || !statement.answerFollowsTables)
            return std::nullopt;
        StatementResult unused;
        if (!reconnectIfLost(unused))
            return std::nullopt;
        return counters_.versionOf(conn_.get(), statement.tablesNamed);
    }

private:
    // Statements a session remembers translated; the client sends a few dozen shapes.
    static constexpr size_t kRememberedReads = 512;

    const PgStatement &translatedRead(const std::string &sql) {
        auto known = reads_.find(sql);
        if (known == reads_.end()) {
            if (reads_.size() >= kRememberedReads)
                reads_.clear();
            known = reads_.emplace(sql, translateForPostgres(Method::OpenSQL, sql)).first;
        }
        return known->second;
    }

    bool command(const char *sql, StatementResult &result) {
        PgResultPtr done(PQexec(conn_.get(), sql));
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) {
            refusedOrFailed(done.get(), result);
            return false;
        }
        return true;
    }

    class Lookup : public RowLookup {
    public:
        explicit Lookup(PGconn *conn) : conn_(conn) {}
        LookupRows rows(const std::string &sql) override {
            const PgStatement read = translateForPostgres(Method::OpenSQL, sql);
            if (read.outcome != Outcome::Ok)
                throw std::runtime_error(read.error);
            PgResultPtr res(PQexec(conn_, read.text.c_str()));
            if (PQresultStatus(res.get()) != PGRES_TUPLES_OK)
                throw std::runtime_error(PQerrorMessage(conn_));
            LookupRows found(size_t(PQntuples(res.get())));
            for (int r = 0; r < PQntuples(res.get()); ++r)
                for (int c = 0; c < PQnfields(res.get()); ++c)
                    found[r].emplace_back(PQgetvalue(res.get(), r, c));
            return found;
        }

    private:
        PGconn *conn_;
    };

    void checkAndRun(const std::vector<std::pair<Method, PgStatement>> &statements,
                     const ChangeRule &rule, StatementResult &result) {
        try {
            Lookup lookup(conn_.get());
            if (auto why = rule(lookup)) {
                result.outcome = Outcome::Refused;
                result.error = *why;
                return;
            }
        } catch (const std::exception &error) {
            failed(result, std::string("the server could not read the rows to check: ") +
                               error.what());
            return;
        }
        struct NoRows : RowSink {
            void begin(const std::vector<std::string> &) override {}
            bool add(const std::vector<CellView> &) override { return true; }
        } noRows;
        for (const auto &[method, statement] : statements) {
            StatementResult one;
            if (!PQsendQueryParams(conn_.get(), statement.text.c_str(), 0, nullptr, nullptr,
                                   nullptr, nullptr, 0)) {
                failed(result, PQerrorMessage(conn_.get()));
                return;
            }
            collect(method, noRows, one);
            if (one.outcome != Outcome::Ok) {
                result = std::move(one);
                return;
            }
            result.changes += one.changes;
        }
    }

    // A session outlives many statements; a connection the database dropped
    // (a restart, a failover) is opened again before the next one.
    bool reconnectIfLost(StatementResult &result) {
        if (PQstatus(conn_.get()) == CONNECTION_OK)
            return true;
        PQreset(conn_.get());
        readOnly_ = -1;
        counters_.connectionReset();
        if (PQstatus(conn_.get()) == CONNECTION_OK)
            return true;
        failed(result, PQerrorMessage(conn_.get()));
        return false;
    }

    // Reads run read-only, each kind with its own time limit; set only when the
    // session changes kind, so a worker's steady work costs no extra trip.
    bool setMode(bool readOnly, StatementResult &result) {
        if (readOnly_ == int(readOnly))
            return true;
        PgResultPtr done(
            PQexec(conn_.get(), (std::string("SET default_transaction_read_only = ") +
                                 (readOnly ? "on" : "off") +
                                 "; SET statement_timeout = " + std::to_string(limitMillis_))
                                    .c_str()));
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) {
            failed(result, PQerrorMessage(conn_.get()));
            return false;
        }
        readOnly_ = int(readOnly);
        return true;
    }

    void collect(Method method, RowSink &rows, StatementResult &result) {
        bool begun = false;
        bool stopped = false;
        std::vector<CellView> row;
        while (PgResultPtr part{PQgetResult(conn_.get())}) {
            PGresult *res = part.get();
            const ExecStatusType status = PQresultStatus(res);
            if (stopped)
                continue; // drains what was under way when the sink said no
            if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
                if (method != Method::OpenSQL) {
                    result.changes = std::atoll(PQcmdTuples(res)); // INSERT ... RETURNING
                    continue;
                }
                if (!begun) {
                    begin(res, rows);
                    row.resize(size_t(PQnfields(res)));
                    begun = true;
                }
                for (int r = 0; r < PQntuples(res) && !stopped; ++r) {
                    for (int c = 0; c < int(row.size()); ++c) {
                        // Each accessor checks its arguments; only an empty cell may be NULL.
                        const size_t length = size_t(PQgetlength(res, r, c));
                        row[c] = length == 0 && PQgetisnull(res, r, c)
                                     ? CellView()
                                     : CellView(std::string_view(PQgetvalue(res, r, c), length));
                    }
                    if (!rows.add(row)) {
                        stopped = true;
                        result.outcome = Outcome::TooLarge;
                        cancel();
                    }
                }
            } else if (status == PGRES_COMMAND_OK) {
                result.changes = std::atoll(PQcmdTuples(res));
            } else {
                refusedOrFailed(res, result);
            }
        }
    }

    static void begin(PGresult *res, RowSink &rows) {
        std::vector<std::string> columns;
        for (int c = 0; c < PQnfields(res); ++c)
            columns.emplace_back(PQfname(res, c));
        rows.begin(columns);
    }

    void cancel() {
        if (PGcancel *handle = PQgetCancel(conn_.get())) {
            char error[256];
            PQcancel(handle, error, sizeof error);
            PQfreeCancel(handle);
        }
    }

    void refusedOrFailed(PGresult *res, StatementResult &result) {
        const std::string state = errorField(res, PG_DIAG_SQLSTATE);
        const std::string message = errorField(res, PG_DIAG_MESSAGE_PRIMARY);
        if (state == "42501" || state == "25006") { // no privilege; a change in a read
            result.outcome = Outcome::Refused;
            result.error = "statement refused: " + message;
        } else if (state == "57014") {
            failed(result,
                   "statement stopped: it ran longer than " + std::to_string(limitMillis_) + " ms");
        } else if (state == "23505") {
            // Worded as SQLite words it, which clients may look for.
            failed(result, "UNIQUE constraint failed: " + errorField(res, PG_DIAG_CONSTRAINT_NAME));
        } else {
            failed(result, message.empty() ? PQerrorMessage(conn_.get()) : message);
        }
    }

    static void failed(StatementResult &result, std::string why) {
        result.outcome = Outcome::Failed;
        result.error = std::move(why);
    }

    PgConnPtr conn_;
    PgLimits limits_;
    PgChangeCounters counters_;
    std::unordered_map<std::string, PgStatement> reads_;
    int readOnly_ = -1; // the session's current kind; -1 before the first
    int limitMillis_ = 0;
};

} // namespace

PgStorage::PgStorage(std::string conninfo, PgLimits limits)
    : conninfo_(std::move(conninfo)), limits_(limits) {
    checkPostgresSchema(conninfo_);
}

std::unique_ptr<Session> PgStorage::openSession() {
    return std::make_unique<PgSession>(conninfo_, limits_);
}

} // namespace appserver
