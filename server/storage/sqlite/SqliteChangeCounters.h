#pragma once
// Tells when what a statement reads may have changed: a counter per table,
// moved after each change this server commits to it, and an epoch moved when
// another process has written the file (seen through PRAGMA data_version of a
// connection that never writes). A version names the counters of the tables
// a statement reads, so an answer stays good until one of them moves.

#include "storage/sqlite/RowImages.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace appserver {

class ChangeCounters {
public:
    // Takes the watching connection, which must never write.
    explicit ChangeCounters(sqlite3 *watcher);
    ~ChangeCounters();
    ChangeCounters(const ChangeCounters &) = delete;
    ChangeCounters &operator=(const ChangeCounters &) = delete;

    // The version of these tables' data now; nullopt while a change through
    // the writer is under way and a change seen may be its own or another's
    // (waited for a little first: it is most likely the writer's own commit,
    // about to be counted).
    std::optional<std::string> versionOf(const std::vector<std::string> &tables);

    // Around each change through writer, the one connection of this server
    // that writes: afterwards each table in changed has a new counter.
    // inserted: when the change only inserted rows, their rowids by table
    // (lower-case name); null when it did anything else or failed. rows: the
    // rows it changed, whole; null when it changed others or failed.
    using Inserted = std::unordered_map<std::string, std::vector<long long>>;
    void changeBegins(sqlite3 *writer);
    void changeEnded(sqlite3 *writer, const std::vector<std::string> &changed,
                     const Inserted *inserted, const RowImages::ByTable *rows = nullptr);

    // Holds the data at one version: pin() begins a read on the caller's
    // connection, made while no commit can pass unseen. With tables' version
    // then in version; false (nothing pinned) when a commit got in the way.
    using Pin = std::function<bool()>;
    using Unpin = std::function<void()>;
    bool pinned(const std::vector<std::string> &tables, const Pin &pin, const Unpin &unpin,
                std::string &version);
    // As pinned() for one table, when all that changed in it since the
    // version since is rows this server's writer inserted: their rowids.
    bool pinnedAfterInserts(const std::string &table, const std::string &since, const Pin &pin,
                            const Unpin &unpin, std::string &version,
                            std::vector<long long> &inserted);
    // When all that changed in table since the version since is rows this
    // server's writer changed and told whole, and nobody else has written
    // since: those rows in the order they changed, and the version now.
    bool changedSince(const std::string &table, const std::string &since, std::string &version,
                      std::vector<ChangedRow> &rows);

private:
    // One change of a table through this server's writer.
    struct Logged {
        unsigned long long epoch;
        unsigned long long counter;    // the table's counter after it
        bool onlyInserts;
        std::vector<long long> rowids; // inserted
        bool whole = false;            // rows holds every row it changed
        std::vector<ChangedRow> rows;
        size_t bytes = 0; // rows' text
    };
    static constexpr size_t kLoggedPerTable = 4096;
    // The changed rows a table's log holds, at most: past it, the oldest
    // changes are no longer told row by row.
    static constexpr size_t kRowBytesPerTable = 8 << 20;

    // The log of table from the change after the version since; false when
    // since is not this instance's or older than the log.
    bool loggedSince(const std::string &table, const std::string &since,
                     std::deque<Logged>::const_iterator &from,
                     std::deque<Logged>::const_iterator &to, unsigned long long &epoch);
    void forgetOldestRows(std::deque<Logged> &log, size_t &bytes); // with mutex_ held

    std::string versionNow(const std::vector<std::string> &tables); // with mutex_ held
    bool pinWhileUnseen(const Pin &pin, const Unpin &unpin);        // with mutex_ held
    void noteOthersWrote(long long watched); // with mutex_ held
    // With lock held: false when a commit is seen that the writer, still
    // under way, has not counted within a short wait.
    bool allCounted(std::unique_lock<std::mutex> &lock);
    long long watchedVersion();              // with mutex_ held

    std::mutex mutex_;
    sqlite3 *watcher_;
    sqlite3_stmt *watching_ = nullptr; // the watcher's PRAGMA data_version
    long long watchedSeen_ = 0;        // the watcher's data_version, ours and others' changes
    long long writerSeen_ = 0;         // the writer's data_version: others' changes only
    bool changing_ = false;
    std::condition_variable changeEnded_;
    unsigned long long epoch_ = 0;
    std::unordered_map<std::string, unsigned long long> counters_; // by lower-case name
    std::unordered_map<std::string, std::deque<Logged>> logged_;    // the same, recent first last
    std::unordered_map<std::string, size_t> loggedRowBytes_;        // the same
    std::string instance_; // differs per start, so no version of an earlier run matches
};

} // namespace appserver
