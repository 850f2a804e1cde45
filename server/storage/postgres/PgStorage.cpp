#include "storage/postgres/PgStorage.h"

#include "statements/ClientTables.h"
#include "storage/postgres/PgChangeCounters.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgPanel.h"
#include "storage/postgres/PgRowLog.h"
#include "storage/postgres/PgSchema.h"
#include "storage/postgres/PgStatement.h"

#include <poll.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

namespace appserver {
namespace {

using Clock = std::chrono::steady_clock;

// PostgreSQL's own statement_timeout stops a statement that runs; this much
// later the server stops waiting for one the database does not even run
// (a frozen host, a lock on the network), and as long again for its cancel.
constexpr auto kDeadlineMargin = std::chrono::milliseconds(500);

// Cancels sent aside at once: each may wait on a frozen postmaster.
std::atomic<int> cancelsUnderWay{0};
constexpr int kMostCancelsUnderWay = 16;

// libpq's PQcancel waits for the postmaster to close its socket, which a
// frozen one never does: it is sent from a thread of its own.
void cancelAside(PGconn *conn) {
    if (cancelsUnderWay.load() >= kMostCancelsUnderWay)
        return;
    PGcancel *handle = PQgetCancel(conn);
    if (!handle)
        return;
    ++cancelsUnderWay;
    std::thread([handle] {
        char error[256];
        PQcancel(handle, error, sizeof error);
        PQfreeCancel(handle);
        --cancelsUnderWay;
    }).detach();
}

enum class Waited { Ready, TimedOut, Stopped };

// Waits until the socket is ready for events, the deadline passes, or stop
// (when given) is raised.
Waited waitFor(int socket, short events, Clock::time_point deadline,
               const QueryStop *stop = nullptr) {
    for (;;) {
        if (stop && stop->raised())
            return Waited::Stopped;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Waited::TimedOut;
        pollfd waited[2] = {{socket, events, 0}, {stop ? stop->descriptor() : -1, POLLIN, 0}};
        const int ready = poll(waited, stop && stop->descriptor() >= 0 ? 2 : 1,
                               int(std::min<long long>(left.count() + 1, 60000)));
        if (ready > 0 && waited[0].revents != 0)
            return Waited::Ready;
        if (ready < 0 && errno != EINTR)
            return Waited::Ready; // libpq tells what is wrong with the socket
    }
}

// Without a stop: whether the socket became ready in time.
bool readyBy(int socket, short events, Clock::time_point deadline) {
    return waitFor(socket, events, deadline) == Waited::Ready;
}

// SQLSTATEs of a database that is going away or cannot take the session.
bool isOutage(const std::string &state) {
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03" ||
           state == "53300";
}

constexpr const char *kJournalInsert =
    "INSERT INTO solvane_journal(changedat, bylogin, byname, verb, rowtable, keyid, keycontent, "
    "keydemander, changes) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9)";

class PgSession : public Session {
public:
    PgSession(const std::string &conninfo, const PgLimits &limits, PgSnapshots &snapshots,
              PgRowLog &rowLog, bool journal, bool rowsCopied)
        : conninfo_(conninfo), conn_(connectPostgres(conninfo)), limits_(limits),
          snapshots_(snapshots), rowLog_(rowLog), journal_(journal), rowsCopied_(rowsCopied) {
        execOrThrow(conn_.get(), idleTimeoutSetting().c_str(),
                    "cannot configure the PostgreSQL session");
        PQsetnonblocking(conn_.get(), 1);
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
        waitAtMost(method == Method::OpenSQL ? limits_.statementMillis : limits_.writeMillis);
        if (method == Method::OpenSQL)
            return runOnce(method, statement, rows);
        if (rowsCopied_ && (statement.tablesNamed & loggedTables())) {
            // In a transaction of its own, whose rows are copied.
            static const ChangeRule anyRows = [](RowLookup &) { return std::optional<Refusal>(); };
            const std::vector<std::pair<Method, PgStatement>> alone = {{method, statement}};
            return untilNoConflict([&] { return changeOnce(alone, anyRows, nullptr); });
        }
        DiscardRows noRows;
        return untilNoConflict([&] { return runOnce(method, statement, noRows); });
    }

    StatementResult runChange(const std::vector<ChangeStep> &steps, const ChangeRule &rule,
                              ChangeNotes *notes) override {
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
        waitAtMost(limits_.writeMillis);
        return untilNoConflict(
            [&] { return changeOnce(statements, rule, journal_ ? notes : nullptr); });
    }

    void forgetJournalBefore(const std::string &changedAt) override {
        if (!journal_)
            return;
        waitAtMost(limits_.writeMillis);
        reconnectIfLost();
        StatementResult result;
        if (!setMode(false, result))
            return;
        const char *values[] = {changedAt.c_str()};
        call([&](PGconn *c) {
            return PQsendQueryParams(c, "DELETE FROM solvane_journal WHERE changedat < $1", 1,
                                     nullptr, values, nullptr, nullptr, 0);
        });
    }

    void beginRequest() override { beginRequestStartedAt(Clock::now()); }

    void beginRequestStartedAt(Clock::time_point started) override {
        requestStarted_ = started;
        counters_.requestBegins();
    }

    void stopQueriesWhen(const QueryStop *stop) override { stop_ = stop; }

    std::optional<std::string> dataVersion(const std::string &sql) override {
        const PgStatement &statement = translatedRead(sql);
        if (statement.outcome != Outcome::Ok || !statement.answerFollowsTables)
            return std::nullopt;
        // Read as a query of the request, before its statement runs.
        waitAtMost(limits_.statementMillis);
        reconnectIfLost();
        return counters_.versionOf(conn_.get(), statement.tablesNamed, caller());
    }

    bool placesAddedRows(const std::string &sql) override { return panelSince(sql).has_value(); }

    StatementResult runAtVersion(const std::string &sql, RowSink &rows,
                                 std::optional<std::string> &version) override {
        version.reset();
        const PgStatement &statement = translatedRead(sql);
        const bool panel = panelSince(sql).has_value();
        const bool list = !panel && followsLoggedRows(sql, statement);
        if (statement.outcome != Outcome::Ok || !statement.answerFollowsTables || (!panel && !list))
            return run(Method::OpenSQL, sql, rows);
        waitAtMost(limits_.statementMillis);
        std::optional<std::string> now;
        std::optional<PgSnapshot> snapshot;
        StatementResult result = inSnapshot([&] {
            now = counters_.versionOf(conn_.get(), statement.tablesNamed, caller());
            const auto others = panel ? counters_.othersOf("Notice") : std::nullopt;
            snapshot = now && others ? snapshotNow(caller(), *others) : std::nullopt;
            return runOnce(Method::OpenSQL, statement, rows);
        });
        if (result.outcome == Outcome::Ok && now && (snapshot || list)) {
            if (snapshot)
                snapshots_.note(*now, *snapshot);
            version = std::move(now);
        }
        return result;
    }

    std::optional<std::string> addedRows(const std::string &sql, const std::string &since,
                                         PlacedRows &rows) override {
        const std::optional<std::string> from = panelSince(sql);
        const PgStatement &statement = translatedRead(sql);
        const std::optional<PgSnapshot> then =
            from && statement.outcome == Outcome::Ok ? snapshots_.find(since) : std::nullopt;
        if (!then)
            return std::nullopt;
        waitAtMost(limits_.statementMillis);
        std::optional<std::string> now;
        std::optional<PgSnapshot> snapshot;
        bool placed = false;
        const StatementResult result = inSnapshot([&] {
            now = counters_.versionOf(conn_.get(), statement.tablesNamed, caller());
            const auto others = counters_.othersOf("Notice");
            snapshot = now && others ? snapshotNow(caller(), *others) : std::nullopt;
            // Only insertions since: the rows then seen are all there still.
            placed = snapshot && snapshot->others == then->others &&
                     placeRowsAddedSince(caller(), *from, *then, snapshot->logged, rows);
            return StatementResult{};
        });
        if (result.outcome != Outcome::Ok || !placed || !now)
            return std::nullopt;
        snapshots_.note(*now, *snapshot);
        return now;
    }

    std::optional<std::string> changedRows(const std::string &sql, const std::string &since,
                                           std::vector<ChangedRow> &rows) override {
        const PgStatement &statement = translatedRead(sql);
        if (!followsLoggedRows(sql, statement))
            return std::nullopt;
        // The request's first read of the counters serves: the answer made
        // is the one of the version it names.
        waitAtMost(limits_.statementMillis);
        reconnectIfLost();
        auto now = counters_.versionOf(conn_.get(), statement.tablesNamed, caller());
        if (!now || !rowLog_.changesBetween(since, *now, rows))
            return std::nullopt;
        return now;
    }

    // The tables' text is in the "C" collation: = and ORDER BY compare
    // bytes, and ILIKE (LIKE with a pattern of letters) folds only A-Z; NULL
    // orders above all text; the own lists' ties are ordered by every column.
    TextRules textRules() const override {
        TextRules rules;
        rules.likeIgnoresAsciiCase = true;
        rules.ordersBytewise = rowsCopied_;
        rules.nullsAfterText = true;
        rules.listTiesByColumns = true;
        return rules;
    }

private:
    using LoggedVersions = std::array<std::string, 2>; // of loggedTables(), in table order

    // Whether statement is an own list of one table whose changed rows the
    // log may tell.
    bool followsLoggedRows(const std::string &sql, const PgStatement &statement) const {
        return rowsCopied_ && statement.outcome == Outcome::Ok && statement.answerFollowsTables &&
               __builtin_popcount(statement.tablesNamed) == 1 &&
               (statement.tablesNamed & loggedTables()) && ownListOf(sql);
    }
    // Statements a session remembers translated; the client sends a few dozen shapes.
    static constexpr size_t kRememberedReads = 512;

    const PgStatement &translatedRead(const std::string &sql) {
        auto known = reads_.find(sql);
        if (known == reads_.end()) {
            if (reads_.size() >= kRememberedReads)
                reads_.clear();
            PgStatement read = translateForPostgres(Method::OpenSQL, sql);
            if (read.outcome == Outcome::Ok && panelSince(sql))
                orderTiesNewestFirst(read.text);
            else if (const OwnListShape *list = read.outcome == Outcome::Ok ? ownListOf(sql) : nullptr)
                orderListTiesByColumns(*list, read.text);
            known = reads_.emplace(sql, std::move(read)).first;
        }
        return known->second;
    }

    StatementResult runOnce(Method method, const PgStatement &statement, RowSink &rows) {
        StatementResult result;
        reconnectIfLost();
        if (!setMode(method == Method::OpenSQL, result))
            return result;
        // Rows reach the sink as they come, so what the server holds stays
        // bounded whatever a statement gives, and the answer is written while
        // PostgreSQL still sends. Reading the result whole would spare libpq a
        // result per row, but the answer would then be written only after the
        // last row: measured no faster through the server on bench_pg's department.
        // The mode is set before anything else touches the connection.
        send([&](PGconn *c) {
            const int sent = PQsendQueryParams(c, statement.text.c_str(), 0, nullptr, nullptr,
                                               nullptr, nullptr, 0);
            if (sent && method == Method::OpenSQL)
                PQsetSingleRowMode(c);
            return sent;
        });
        collect(method, rows, result);
        return result;
    }

    StatementResult changeOnce(const std::vector<std::pair<Method, PgStatement>> &statements,
                               const ChangeRule &rule, ChangeNotes *notes) {
        StatementResult result;
        reconnectIfLost();
        if (!setMode(false, result))
            return result;
        unsigned named = 0;
        for (const auto &[method, statement] : statements)
            named |= statement.tablesNamed;
        const bool copying = rowsCopied_ && (named & loggedTables()) && copiesReady();
        // Read apart from the change, before its snapshot, so that it takes
        // no part in what serializes changes.
        const std::optional<LoggedVersions> before = copying ? loggedVersions() : std::nullopt;
        // One snapshot for the rule and the statements, serializable: a row
        // changed by anyone else meanwhile, or a change made at the same time
        // that the rule would have refused had it come first (two projects
        // whose numbers differ in letter case only), fails this one instead of
        // passing unseen, and it is made again.
        if (!command(copying ? "BEGIN ISOLATION LEVEL SERIALIZABLE; SET LOCAL solvane.log_rows = "
                               "'on'"
                             : "BEGIN ISOLATION LEVEL SERIALIZABLE",
                     result))
            return result;
        RowsTold told;
        checkAndRun(statements, rule, notes, result, told);
        if (result.outcome != Outcome::Ok || !command("COMMIT", result)) {
            StatementResult unused;
            command("ROLLBACK", unused);
            result.changes = 0;
            return result;
        }
        if (copying) {
            // The change is made: the member is told so, whatever the log meets.
            try {
                logRows(before, told);
            } catch (const DatabaseUnavailable &) {
                copiesReady_ = 0; // a connection opened anew makes its table again
            }
        }
        return result;
    }

    // The rows changed in each logged table, as the statements naming it
    // alone counted them; whole false when a statement named it with others.
    struct RowsTold {
        long long rows[std::size(kClientTables)] = {};
        bool whole = true;
    };

    // The versions of the logged tables now; nothing when they cannot be read.
    std::optional<LoggedVersions> loggedVersions() {
        counters_.requestBegins();
        LoggedVersions versions;
        size_t at = 0;
        for (size_t t = 0; t < std::size(kClientTables); ++t) {
            if (!(loggedTables() & (1u << t)))
                continue;
            auto version = counters_.versionOf(conn_.get(), 1u << t, caller());
            if (!version || at >= versions.size())
                return std::nullopt;
            versions[at++] = std::move(*version);
        }
        counters_.requestBegins();
        return versions;
    }

    // After a change's commit: its rows go to the log for each table nobody
    // else changed from before its snapshot to now, the table's version now
    // being the one before moved by the change's own statements alone. A
    // failure here leaves the change made; the connection then copies no
    // more rows.
    void logRows(const std::optional<LoggedVersions> &before, const RowsTold &told) {
        std::optional<CopiedRows> copied = takeCopiedRows(caller());
        if (!copied) {
            copiesReady_ = 0;
            return;
        }
        const std::optional<LoggedVersions> after =
            before && told.whole ? loggedVersions() : std::nullopt;
        if (!after)
            return;
        size_t at = 0;
        for (size_t t = 0; t < std::size(kClientTables); ++t) {
            if (!(loggedTables() & (1u << t)))
                continue;
            const size_t v = at++;
            auto table = copied->find(kClientTables[t]);
            if (table == copied->end() || table->second.statements == 0 ||
                versionMovedBy((*before)[v], table->second.statements) != (*after)[v])
                continue;
            if (table->second.rows.size() != size_t(told.rows[t]))
                continue; // a row not copied: the table's row trigger is missing or off
            rowLog_.note((*before)[v], (*after)[v], std::move(table->second.rows));
        }
    }

    // Whether this connection has its table of copied rows, made once.
    bool copiesReady() {
        if (copiesReady_ < 0)
            copiesReady_ = prepareRowCopies(caller()) ? 1 : 0;
        return copiesReady_ == 1;
    }

    // Reads made by read in one REPEATABLE READ transaction of their own: the
    // counters read then (afresh, not this request's earlier read) are those
    // of the rows read.
    template <typename Read> StatementResult inSnapshot(const Read &read) {
        StatementResult result;
        reconnectIfLost();
        if (!setMode(true, result) || !command("BEGIN ISOLATION LEVEL REPEATABLE READ", result))
            return result;
        counters_.requestBegins();
        result = read();
        StatementResult ended;
        if (!command(result.outcome == Outcome::Ok ? "COMMIT" : "ROLLBACK", ended) &&
            result.outcome == Outcome::Ok)
            result = ended;
        return result;
    }

    // A change that met another one made at the same time (through another
    // server, or psql) is made again from its start, rule included, on a
    // fresh snapshot: the member gets what it would have got had the two
    // come one after the other. Within the request's deadline; the other
    // change has committed or given up by then, so the next try sees it.
    template <typename Attempt> StatementResult untilNoConflict(const Attempt &attempt) {
        for (int tries = 1;; ++tries) {
            conflicted_ = false;
            StatementResult result = attempt();
            if (!conflicted_)
                return result;
            if (Clock::now() >= deadline_) {
                std::fprintf(stderr,
                             "solvane-server: a change met others made at the same time %d "
                             "times within %d ms and was not made\n",
                             tries, limitMillis_);
                failed(result, "the change met others made at the same time and was not made; "
                               "try again");
                return result;
            }
        }
    }

    // What follows in this request waits for the database at most this long
    // from the request's start, with the margin.
    void waitAtMost(int millis) {
        limitMillis_ = millis;
        deadline_ = requestStarted_ + std::chrono::milliseconds(millis) + kDeadlineMargin;
    }

    bool command(const char *sql, StatementResult &result) {
        PgResultPtr done = call([sql](PGconn *c) { return PQsendQuery(c, sql); });
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) {
            refusedOrFailed(done.get(), result);
            return false;
        }
        return true;
    }

    class Lookup : public RowLookup {
    public:
        explicit Lookup(PgSession &session) : session_(session) {}
        LookupRows rows(const std::string &sql) override {
            const PgStatement read = translateForPostgres(Method::OpenSQL, sql);
            if (read.outcome != Outcome::Ok)
                throw std::runtime_error(read.error);
            PgResultPtr res =
                session_.call([&](PGconn *c) { return PQsendQuery(c, read.text.c_str()); });
            if (PQresultStatus(res.get()) != PGRES_TUPLES_OK) {
                // A read the rule or the journal makes may meet another
                // change too: the whole change is then made again.
                const std::string state = errorField(res.get(), PG_DIAG_SQLSTATE);
                if (state == "40001" || state == "40P01")
                    session_.conflicted_ = true;
                throw std::runtime_error(errorField(res.get(), PG_DIAG_MESSAGE_PRIMARY));
            }
            LookupRows found(size_t(PQntuples(res.get())));
            for (int r = 0; r < PQntuples(res.get()); ++r)
                for (int c = 0; c < PQnfields(res.get()); ++c)
                    found[r].emplace_back(PQgetvalue(res.get(), r, c));
            return found;
        }

    private:
        PgSession &session_;
    };

    void checkAndRun(const std::vector<std::pair<Method, PgStatement>> &statements,
                     const ChangeRule &rule, ChangeNotes *notes, StatementResult &result,
                     RowsTold &told) {
        Lookup lookup(*this);
        try {
            if (auto why = rule(lookup)) {
                result.outcome = Outcome::Refused;
                result.error = why->text;
                result.code = why->code;
                return;
            }
            if (notes)
                notes->before(lookup);
        } catch (const DatabaseUnavailable &) {
            throw;
        } catch (const std::exception &error) {
            failed(result,
                   std::string("the server could not read the rows to check: ") + error.what());
            return;
        }
        DiscardRows noRows;
        for (const auto &[method, statement] : statements) {
            StatementResult one;
            send([&](PGconn *c) {
                return PQsendQueryParams(c, statement.text.c_str(), 0, nullptr, nullptr, nullptr,
                                         nullptr, 0);
            });
            collect(method, noRows, one);
            if (one.outcome != Outcome::Ok) {
                result = std::move(one);
                return;
            }
            result.changes += one.changes;
            if (const unsigned logged = statement.tablesNamed & loggedTables()) {
                if (logged != statement.tablesNamed || __builtin_popcount(logged) != 1)
                    told.whole = false;
                else
                    told.rows[__builtin_ctz(logged)] += one.changes;
            }
        }
        if (notes)
            journal(*notes, lookup, result);
    }

    // The journal's entries go in with the change, or not at all.
    void journal(ChangeNotes &notes, RowLookup &lookup, StatementResult &result) {
        std::vector<JournalEntry> entries;
        try {
            entries = notes.after(lookup);
        } catch (const DatabaseUnavailable &) {
            throw;
        } catch (const std::exception &error) {
            failed(result, std::string("the server could not write its journal: ") + error.what());
            return;
        }
        for (const JournalEntry &entry : entries) {
            const char *values[] = {entry.changedAt.c_str(), entry.byLogin.c_str(),
                                    entry.byName.c_str(),    entry.verb.c_str(),
                                    entry.rowTable.c_str(),  entry.keyId.c_str(),
                                    entry.keyContent.c_str(), entry.keyDemander.c_str(),
                                    entry.changes.c_str()};
            PgResultPtr done = call([&](PGconn *c) {
                return PQsendQueryParams(c, kJournalInsert, 9, nullptr, values, nullptr, nullptr,
                                         0);
            });
            if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) {
                refusedOrFailed(done.get(), result);
                return;
            }
        }
    }

    std::string idleTimeoutSetting() const {
        return "SET idle_in_transaction_session_timeout = " +
               std::to_string(limits_.idleInTransactionMillis);
    }

    // A session outlives many statements; a connection the database dropped
    // (a restart, a failover), or that this session gave up on, is opened
    // again before the next one, within the request's deadline.
    void reconnectIfLost() {
        if (conn_ && PQstatus(conn_.get()) == CONNECTION_OK)
            return;
        readOnly_ = -1;
        copiesReady_ = -1;
        counters_.connectionReset();
        conn_ = startConnecting(conninfo_);
        if (!conn_)
            unavailable("out of memory");
        // As libpq asks: first wait to write, then as each poll says.
        PostgresPollingStatusType polled =
            PQstatus(conn_.get()) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
        for (; polled != PGRES_POLLING_OK; polled = PQconnectPoll(conn_.get())) {
            if (polled == PGRES_POLLING_FAILED) {
                const std::string why = PQerrorMessage(conn_.get());
                conn_.reset();
                unavailable("cannot connect: " + why);
            }
            if (!readyBy(PQsocket(conn_.get()), polled == PGRES_POLLING_READING ? POLLIN : POLLOUT,
                         deadline_)) {
                conn_.reset();
                unavailable("no answer to a new connection within " + std::to_string(limitMillis_) +
                            " ms");
            }
        }
        PQsetnonblocking(conn_.get(), 1);
        for (const std::string &setting : {std::string(kSessionSetup), idleTimeoutSetting()}) {
            PgResultPtr done = call([&](PGconn *c) { return PQsendQuery(c, setting.c_str()); });
            if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) {
                const std::string why = PQresultErrorMessage(done.get());
                conn_.reset();
                unavailable("cannot configure a new connection: " + why);
            }
        }
    }

    // Tells the member only that the database is unavailable; what libpq
    // said (socket paths, host names, roles) goes to the log.
    [[noreturn]] void unavailable(const std::string &details) {
        std::fprintf(stderr, "solvane-server: database unavailable: %s\n", details.c_str());
        throw DatabaseUnavailable("database unavailable; try again shortly");
    }

    // The connection is gone: reconnecting waits for the next request.
    [[noreturn]] void lost() {
        const std::string why = conn_ ? PQerrorMessage(conn_.get()) : "no connection";
        conn_.reset();
        unavailable("connection lost: " + why);
    }

    // The database has not answered by the deadline: the statement is
    // cancelled, and the connection given up unless it answers soon after.
    [[noreturn]] void giveUp() {
        cancelAndDrain();
        unavailable("no answer within " + std::to_string(limitMillis_) + " ms");
    }

    // Nobody waits for the query's answer any more.
    [[noreturn]] void stopped() {
        cancelAndDrain();
        throw std::runtime_error("statement stopped: nobody waits for its answer");
    }

    // Cancels what runs and reads what is left of its answer; a connection
    // that does not answer within the margin, or is left in a transaction,
    // is dropped.
    void cancelAndDrain() {
        cancelAside(conn_.get());
        const auto grace = Clock::now() + kDeadlineMargin;
        // A cancel that reaches the backend while it still reads the
        // statement is ignored: a second one goes halfway through the margin.
        const auto again = Clock::now() + kDeadlineMargin / 2;
        bool answered = true;
        while (answered && PQisBusy(conn_.get()) && readyBy(PQsocket(conn_.get()), POLLIN, again))
            answered = PQconsumeInput(conn_.get());
        if (answered && PQisBusy(conn_.get()))
            cancelAside(conn_.get());
        while (answered && PQisBusy(conn_.get()))
            answered = readyBy(PQsocket(conn_.get()), POLLIN, grace) && PQconsumeInput(conn_.get());
        while (answered) {
            PgResultPtr rest{PQgetResult(conn_.get())};
            if (!rest)
                break;
            while (answered && PQisBusy(conn_.get()))
                answered =
                    readyBy(PQsocket(conn_.get()), POLLIN, grace) && PQconsumeInput(conn_.get());
        }
        if (!answered || PQtransactionStatus(conn_.get()) != PQTRANS_IDLE)
            conn_.reset();
    }

    // Waits for the connection's socket within the deadline; gives up past
    // it, or stops when nobody waits any more.
    void waitForDatabase(short events) {
        switch (waitFor(PQsocket(conn_.get()), events, deadline_, stop_)) {
        case Waited::Ready:
            return;
        case Waited::TimedOut:
            giveUp();
        case Waited::Stopped:
            stopped();
        }
    }

    // Sends a command without waiting past the deadline for the socket.
    template <typename Send> void send(const Send &sendCommand) {
        if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK)
            lost();
        if (!sendCommand(conn_.get()))
            lost();
        for (;;) {
            const int flushed = PQflush(conn_.get());
            if (flushed == 0)
                return;
            if (flushed < 0)
                lost();
            waitForDatabase(POLLIN | POLLOUT);
            if (!PQconsumeInput(conn_.get()))
                lost();
        }
    }

    // The next result of the command sent; null after the last.
    PgResultPtr nextResult() {
        while (PQisBusy(conn_.get())) {
            waitForDatabase(POLLIN);
            if (!PQconsumeInput(conn_.get()))
                lost();
        }
        return PgResultPtr(PQgetResult(conn_.get()));
    }

    // As PQexec: the first error, or else the last result.
    PgResultPtr call(const std::function<int(PGconn *)> &sendCommand) {
        send(sendCommand);
        PgResultPtr kept;
        while (PgResultPtr part = nextResult()) {
            const ExecStatusType status = PQresultStatus(part.get());
            if (kept && PQresultStatus(kept.get()) == PGRES_FATAL_ERROR)
                continue;
            kept = std::move(part);
            if (status == PGRES_FATAL_ERROR && PQstatus(conn_.get()) != CONNECTION_OK)
                lost();
        }
        if (!kept && PQstatus(conn_.get()) != CONNECTION_OK)
            lost();
        return kept;
    }

    PgCall caller() {
        return
            [this](const std::function<int(PGconn *)> &sendCommand) { return call(sendCommand); };
    }

    // Reads run read-only, each kind with its own time limit; set only when the
    // session changes kind, so a worker's steady work costs no extra trip.
    bool setMode(bool readOnly, StatementResult &result) {
        if (readOnly_ == int(readOnly))
            return true;
        const std::string settings = std::string("SET default_transaction_read_only = ") +
                                     (readOnly ? "on" : "off") +
                                     "; SET statement_timeout = " + std::to_string(limitMillis_);
        PgResultPtr done = call([&](PGconn *c) { return PQsendQuery(c, settings.c_str()); });
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) {
            refusedOrFailed(done.get(), result);
            return false;
        }
        readOnly_ = int(readOnly);
        return true;
    }

    void collect(Method method, RowSink &rows, StatementResult &result) {
        bool begun = false;
        bool stopped = false;
        std::vector<CellView> row;
        while (PgResultPtr part = nextResult()) {
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
        if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK || isOutage(state))
            lost();
        // A serialization failure or a deadlock: the change is made again.
        if (state == "40001" || state == "40P01")
            conflicted_ = true;
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
            failed(result,
                   message.empty() ? "the database could not carry the statement out" : message);
        }
    }

    static void failed(StatementResult &result, std::string why) {
        result.outcome = Outcome::Failed;
        result.error = std::move(why);
    }

    std::string conninfo_;
    PgConnPtr conn_; // null once given up, until the next request connects
    PgLimits limits_;
    PgSnapshots &snapshots_;
    PgRowLog &rowLog_;
    bool journal_;    // the database has the journal
    bool rowsCopied_; // the database copies changed rows when asked
    int copiesReady_ = -1; // the connection's table of copied rows: -1 not yet made
    PgChangeCounters counters_;
    std::unordered_map<std::string, PgStatement> reads_;
    int readOnly_ = -1; // the session's current kind; -1 before the first
    int limitMillis_ = 0;
    bool conflicted_ = false; // the last try met a change made at the same time
    Clock::time_point requestStarted_ = Clock::now();
    Clock::time_point deadline_ = Clock::now();
    const QueryStop *stop_ = nullptr;
};

} // namespace

PgStorage::PgStorage(std::string conninfo, PgLimits limits)
    : conninfo_(std::move(conninfo)), limits_(limits) {
    journal_ = checkPostgresSchema(conninfo_);
    rowsCopied_ = checkRowLog(conninfo_);
}

std::unique_ptr<Session> PgStorage::openSession() {
    return std::make_unique<PgSession>(conninfo_, limits_, snapshots_, rowLog_, journal_,
                                       rowsCopied_);
}

} // namespace appserver
