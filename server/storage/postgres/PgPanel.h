#pragma once
// The notice panel brought up to date on PostgreSQL without running it again.
// A panel read at a version is read in a REPEATABLE READ transaction together
// with the counters and the transaction's snapshot. Later, when the changes
// to Notice since then were all insertions (its counter of other changes has
// not moved), the rows added since are exactly the panel's rows that snapshot
// did not see, whichever server or program inserted them. The panel's rows
// of one time come newest row version (ctid) first, whatever plan reads them,
// so a row's place is the count of rows before it in that order.

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
    unsigned long long xmax = 0;
    std::vector<unsigned long long> inProgress;
    std::string others;
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

// The panel's first day when sql is the notice panel as the client sends it.
std::optional<std::string> panelSince(const std::string &sql);

// Inside a REPEATABLE READ transaction, before anything else is read: what it
// sees. Nothing when it cannot be told, or transaction ids have grown past
// what this comparison holds for (2^31: raw ids then compare as numbers).
std::optional<PgSnapshot> snapshotNow(const PgCall &call);

// Makes the panel, translated, answer rows of one time in a fixed order, the
// one the places count: newest row version first.
void orderTiesNewestFirst(std::string &translatedPanel);

// Gives rows the panel's rows from since that then did not see, each with
// its place in the panel now; false when they could not be read.
bool placeRowsAddedSince(const PgCall &call, const std::string &since, const PgSnapshot &then,
                         PlacedRows &rows);

} // namespace appserver
