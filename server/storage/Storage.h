#pragma once
// The one interface between the HTTP front and a database engine.
// A Storage hands out Sessions; each Session is one database connection that
// serves one request at a time, so a database worker owns one for its life.

#include "statements/ServerMethods.h"
#include "storage/QueryStop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

enum class Outcome {
    Ok,
    Empty,    // the text holds no statement
    Refused,  // the statement is not one this server runs for that method
    Failed,   // the database could not carry the statement out
    TooLarge, // the row sink would take no more rows
};

// Thrown by a session when the database does not answer in time or cannot
// be reached: the member is told only that, the details go to the log.
class DatabaseUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using CellView = std::optional<std::string_view>; // SQL NULL is nullopt

// Receives a query's answer while it is read, so no copy of all rows is kept.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void begin(const std::vector<std::string> &columns) = 0;
    // The cells are valid only during the call. False stops the statement.
    virtual bool add(const std::vector<CellView> &row) = 0;
};

// For statements whose rows nobody reads: changes.
class DiscardRows : public RowSink {
public:
    void begin(const std::vector<std::string> &) override {}
    bool add(const std::vector<CellView> &) override { return true; }
};

// Rows of an answer given with their places in it, in the order of their places.
class PlacedRows {
public:
    virtual ~PlacedRows() = default;
    // The cells are valid only during the call. False stops.
    virtual bool add(size_t place, const std::vector<CellView> &row) = 0;
};

// A stored row: every column of its table in order, as text; NULL as nullopt.
using StoredRow = std::vector<std::optional<std::string>>;

// One row a change touched: as it was (none when inserted) and as it became
// (none when deleted).
struct ChangedRow {
    std::optional<StoredRow> before, after;
};

// How the database compares and orders rows, for telling in memory what its
// statements would answer.
struct TextRules {
    bool likeIgnoresAsciiCase = false; // LIKE folds A-Z to a-z, nothing else
    bool ordersBytewise = false;       // ORDER BY and = compare text byte by byte
    // Rows a statement's order leaves tied, and all rows of a statement
    // without one, come in the order they were inserted; an update keeps a
    // row's place in it.
    bool scansInRowOrder = false;
    // NULL orders after every text, as PostgreSQL has it; SQLite puts it before.
    bool nullsAfterText = false;
    // An own list's rows its order leaves tied, and all rows of one without
    // an order, stand by their columns in table order, each ascending: the
    // storage adds that order to the lists' statements.
    bool listTiesByColumns = false;
};

struct StatementResult {
    Outcome outcome = Outcome::Ok;
    std::string error;
    long long changes = 0;
    std::string code; // with Refused by a rule: the refusal's stable reason code
};

// Rows read for a rule before a change: cells as text, NULL as empty.
using LookupRows = std::vector<std::vector<std::string>>;

// Reads rows inside a change's transaction; throws std::runtime_error when
// the query fails.
class RowLookup {
public:
    virtual ~RowLookup() = default;
    virtual LookupRows rows(const std::string &sql) = 0;
};

// Why a change may not run: a stable reason code that programs read, and
// the words for people.
struct Refusal {
    std::string code;
    std::string text;
};

// Why a change may not run, read from the rows it would touch; nothing when
// it may.
using ChangeRule = std::function<std::optional<Refusal>(RowLookup &)>;

// One change as the journal keeps it: who, when, what kind of change, the
// row's key, and the columns changed as JSON ({"Column":[before,after]}).
struct JournalEntry {
    std::string changedAt; // "yyyy-MM-dd HH:mm:ss", local time
    std::string byLogin;
    std::string byName;
    std::string verb;
    std::string rowTable;
    std::string keyId; // the project number (a task's TaskId), or a login name
    std::string keyContent;
    std::string keyDemander;
    std::string changes;
};

// Notes what a change does, inside its transaction: before() reads the rows
// it will touch ahead of its statements, after() reads them again once they
// ran and gives the journal's entries. A transaction tried again calls both
// again.
class ChangeNotes {
public:
    virtual ~ChangeNotes() = default;
    virtual void before(RowLookup &rows) = 0;
    virtual std::vector<JournalEntry> after(RowLookup &rows) = 0;
};

struct ChangeStep {
    Method method; // ExecSQL or DelSQL
    std::string sql;
};

class Session {
public:
    virtual ~Session() = default;
    // Each request begins here, before its first dataVersion().
    virtual void beginRequest() {}
    // As beginRequest(), for a request whose time counts from started (a
    // query's arrival): what it waited for a worker is taken from the time
    // it may wait for the database, connecting included.
    virtual void beginRequestStartedAt(std::chrono::steady_clock::time_point started) {
        (void)started;
        beginRequest();
    }
    // Until called again with nullptr, a query run while stop is raised
    // ends early with an error. Changes are never given one: a change
    // started completes.
    virtual void stopQueriesWhen(const QueryStop *stop) { (void)stop; }
    // Rows of an OpenSQL statement go to rows; other methods ignore it.
    virtual StatementResult run(Method method, const std::string &sql, RowSink &rows) = 0;
    // Runs the steps as one transaction that sees one state of the data:
    // first the rule, whose refusal answers Refused with its reason, then
    // each statement in order, then the journal's entries from notes (when
    // given). All are kept or none; changes add up.
    virtual StatementResult runChange(const std::vector<ChangeStep> &steps, const ChangeRule &rule,
                                      ChangeNotes *notes) = 0;
    // Deletes the journal's entries made before this time ("yyyy-MM-dd HH:mm:ss").
    virtual void forgetJournalBefore(const std::string &changedAt) { (void)changedAt; }
    // A text that changes whenever the answer of this OpenSQL statement may
    // change, and differs between databases and between runs of the server
    // whose counters do not outlive it; nullopt when that cannot be told now,
    // and the answer must not be reused.
    virtual std::optional<std::string> dataVersion(const std::string &sql) {
        (void)sql;
        return std::nullopt;
    }

    // Bringing a kept answer up to date instead of running its statement
    // again, for the statements whose order the storage can reproduce.
    virtual bool placesAddedRows(const std::string &sql) {
        (void)sql;
        return false;
    }
    // As run() for an OpenSQL statement, on data exactly at the version then
    // set: an answer that may be brought up to date. version stays empty when
    // the data could not be held at one version (the rows are read as run()
    // reads them).
    virtual StatementResult runAtVersion(const std::string &sql, RowSink &rows,
                                         std::optional<std::string> &version) {
        version.reset();
        return run(Method::OpenSQL, sql, rows);
    }
    // When all that changed in what the statement reads, from the version
    // since (one runAtVersion() or addedRows() told) to now, is rows this
    // server's writer inserted: gives rows those of them the statement finds,
    // each with its place in the answer now, and returns the version now.
    // Nothing otherwise (another writer, a deletion or update, an order it
    // cannot reproduce): the statement is then to be run.
    virtual std::optional<std::string> addedRows(const std::string &sql, const std::string &since,
                                                 PlacedRows &rows) {
        (void)sql;
        (void)since;
        (void)rows;
        return std::nullopt;
    }
    // When everything that changed in the one table the statement reads, from
    // the version since (as runAtVersion() or changedRows() told) to now, is
    // rows this server's writer changed and logged whole: those rows, in the
    // order they were changed, and the version now; the caller works out what
    // the statement's answer became. Nothing otherwise: the statement is then
    // to be run.
    virtual std::optional<std::string> changedRows(const std::string &sql,
                                                   const std::string &since,
                                                   std::vector<ChangedRow> &rows) {
        (void)sql;
        (void)since;
        (void)rows;
        return std::nullopt;
    }
    virtual TextRules textRules() const { return {}; }
};

class Storage {
public:
    virtual ~Storage() = default;
    virtual std::unique_ptr<Session> openSession() = 0;
};

} // namespace appserver
