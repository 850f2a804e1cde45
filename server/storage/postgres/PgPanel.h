#pragma once
// The notice panel brought up to date on PostgreSQL without running it again.
// A panel read at a version is read in a REPEATABLE READ transaction together
// with the counters and the transaction's snapshot. Later, when the changes
// to Notice since then were all insertions (its counter of other changes has
// not moved), the rows added since are exactly the panel's rows that snapshot
// did not see, whichever server or program inserted them. The panel's rows
// of one time come newest row version (ctid) first, whatever plan reads them,
// so a row's place is the count of rows before it in that order.
//
// Those rows are told apart by their inserting transaction (xmin), which no
// index holds; --init (or the server at start, where its role may) therefore
// keeps solvane_notices_added: a statement-level trigger on Notice writes
// each inserting transaction's id there with the times it inserted rows at,
// so only the rows at those times are read. Where it is missing or
// unreadable, or its counts disagree with the rows found, the statement runs:
// xmin alone does not tell a row inserted in a savepoint of a transaction
// open at the snapshot.

#include "storage/Storage.h"
#include "storage/postgres/PgConnection.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace appserver {

// What a transaction saw: transactions from xmax on, and those in progress,
// had not committed for it; others counts Notice's changes that did more
// than insert, and the table's file (a VACUUM FULL moves every row).
struct PgSnapshot {
    std::string text; // as pg_snapshot
    unsigned long long xmax = 0;
    std::vector<unsigned long long> inProgress;
    std::string others;
    bool logged = false; // every insertion into Notice from then on is in solvane_notices_added
};

// The snapshots of the versions this server read the panel at, shared by
// its sessions; the oldest are forgotten first.
class PgSnapshots {
public:
    void note(const std::string &version, const PgSnapshot &snapshot);
    std::optional<PgSnapshot> find(const std::string &version);

private:
    static constexpr size_t kRemembered = 4096;
    std::mutex mutex_;
    std::unordered_map<std::string, PgSnapshot> byVersion_;
    std::deque<std::string> order_; // oldest first
};

// The log of insertions into Notice and its trigger; creates what is
// missing. Made in the transaction that makes the change counters, after them.
std::string addedNoticesSql();

// What the server's role needs: to read the log.
std::string grantAddedNoticesSql(const std::string &quotedRole);

// At start: makes the log where it is missing and the role may, and says on
// stderr once when it cannot (the panel is then brought up to date more slowly).
void prepareAddedNotices(PGconn *conn);

// The panel's first day when sql is the notice panel as the client sends it.
std::optional<std::string> panelSince(const std::string &sql);

// Inside a REPEATABLE READ transaction, after the change counters and before
// anything else is read: what it sees, with Notice's count of changes that
// did more than insert as the counters told. Nothing when it cannot be told,
// or transaction ids have grown past what this comparison holds for (2^31:
// raw ids then compare as numbers).
std::optional<PgSnapshot> snapshotNow(const PgCall &call, const std::string &noticeOthers);

// Makes the panel, translated, answer rows of one time in a fixed order, the
// one the places count: newest row version first.
void orderTiesNewestFirst(std::string &translatedPanel);

// Gives rows the panel's rows from since that then did not see, each with
// its place in the panel now; false when they could not be read, or could
// not be told for sure. loggedNow: the snapshot now says the log is kept.
bool placeRowsAddedSince(const PgCall &call, const std::string &since, const PgSnapshot &then,
                         bool loggedNow, PlacedRows &rows);

} // namespace appserver
