#include "storage/sqlite/SqliteChangeCounters.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <random>

namespace appserver {
namespace {

constexpr const char *kDataVersion = "PRAGMA data_version";

long long versionFrom(sqlite3_stmt *stmt) {
    const long long version = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_reset(stmt);
    return version;
}

// Moves whenever another connection commits to the file.
long long dataVersion(sqlite3 *db) {
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, kDataVersion, -1, &stmt, nullptr);
    const long long version = stmt ? versionFrom(stmt) : -1;
    sqlite3_finalize(stmt);
    return version;
}

std::string lowerCase(std::string name) {
    for (char &c : name)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return name;
}

std::string randomInstance() {
    std::random_device device;
    const unsigned long long value =
        (static_cast<unsigned long long>(device()) << 32) ^ device() ^
        static_cast<unsigned long long>(
            std::chrono::system_clock::now().time_since_epoch().count());
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", value);
    return text;
}

} // namespace

ChangeCounters::ChangeCounters(sqlite3 *watcher)
    : watcher_(watcher), watchedSeen_(dataVersion(watcher)), instance_(randomInstance()) {
    // Asked on every query: prepared once.
    sqlite3_prepare_v3(watcher_, kDataVersion, -1, SQLITE_PREPARE_PERSISTENT, &watching_, nullptr);
}

ChangeCounters::~ChangeCounters() {
    sqlite3_finalize(watching_);
    sqlite3_close_v2(watcher_);
}

long long ChangeCounters::watchedVersion() {
    return watching_ ? versionFrom(watching_) : dataVersion(watcher_);
}

void ChangeCounters::noteOthersWrote(long long watched) {
    ++epoch_;
    watchedSeen_ = watched;
}

bool ChangeCounters::allCounted(std::unique_lock<std::mutex> &lock) {
    // A writer's commit is seen before it is counted; a reader asking then
    // waits for the count rather than run its statement afresh.
    constexpr auto kLongestWait = std::chrono::milliseconds(20);
    long long watched = watchedVersion();
    if (watched != watchedSeen_ && changing_) {
        changeEnded_.wait_for(lock, kLongestWait, [this] { return !changing_; });
        watched = watchedVersion();
    }
    if (watched != watchedSeen_) {
        if (changing_)
            return false;
        noteOthersWrote(watched); // the writer is idle: someone else wrote
    }
    return true;
}

std::optional<std::string> ChangeCounters::versionOf(const std::vector<std::string> &tables) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!allCounted(lock))
        return std::nullopt;
    return versionNow(tables);
}

std::string ChangeCounters::versionNow(const std::vector<std::string> &tables) {
    std::string version = instance_ + '-' + std::to_string(epoch_);
    for (const auto &table : tables)
        version += '.' + std::to_string(counters_[lowerCase(table)]);
    return version;
}

bool ChangeCounters::pinWhileUnseen(const Pin &pin, const Unpin &unpin) {
    // Every commit so far is counted, and none came between that look and
    // the read's start: the read sees exactly the counted state.
    if (watchedVersion() != watchedSeen_)
        return false;
    if (!pin())
        return false;
    if (watchedVersion() != watchedSeen_) {
        unpin();
        return false;
    }
    return true;
}

bool ChangeCounters::pinned(const std::vector<std::string> &tables, const Pin &pin,
                            const Unpin &unpin, std::string &version) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pinWhileUnseen(pin, unpin))
        return false;
    version = versionNow(tables);
    return true;
}

bool ChangeCounters::loggedSince(const std::string &table, const std::string &since,
                                 std::deque<Logged>::const_iterator &from,
                                 std::deque<Logged>::const_iterator &to,
                                 unsigned long long &epoch) {
    // since reads instance-epoch.counter.
    const std::string prefix = instance_ + '-';
    if (since.compare(0, prefix.size(), prefix) != 0)
        return false;
    unsigned long long counter = 0;
    int used = 0;
    if (std::sscanf(since.c_str() + prefix.size(), "%llu.%llu%n", &epoch, &counter, &used) != 2 ||
        prefix.size() + size_t(used) != since.size())
        return false;
    const std::string name = lowerCase(table);
    const unsigned long long now = counters_[name];
    if (epoch != epoch_ || counter > now)
        return false;
    const std::deque<Logged> &log = logged_[name];
    from = to = log.end();
    if (counter == now)
        return true;
    while (from != log.begin() && std::prev(from)->counter > counter)
        --from;
    return from != log.end() && from->counter == counter + 1; // else older than what is logged
}

bool ChangeCounters::pinnedAfterInserts(const std::string &table, const std::string &since,
                                        const Pin &pin, const Unpin &unpin, std::string &version,
                                        std::vector<long long> &inserted) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<Logged>::const_iterator from, to;
    unsigned long long epoch = 0;
    if (!loggedSince(table, since, from, to, epoch))
        return false;
    inserted.clear();
    for (auto at = from; at != to; ++at) {
        if (at->epoch != epoch || !at->onlyInserts)
            return false;
        inserted.insert(inserted.end(), at->rowids.begin(), at->rowids.end());
    }
    if (!pinWhileUnseen(pin, unpin))
        return false;
    version = versionNow({table});
    return true;
}

bool ChangeCounters::changedSince(const std::string &table, const std::string &since,
                                  std::string &version, std::vector<ChangedRow> &rows) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!allCounted(lock))
        return false;
    std::deque<Logged>::const_iterator from, to;
    unsigned long long epoch = 0;
    if (!loggedSince(table, since, from, to, epoch))
        return false;
    rows.clear();
    for (auto at = from; at != to; ++at) {
        if (at->epoch != epoch || !at->whole)
            return false;
        rows.insert(rows.end(), at->rows.begin(), at->rows.end());
    }
    version = versionNow({table});
    return true;
}

void ChangeCounters::forgetOldestRows(std::deque<Logged> &log, size_t &bytes) {
    for (Logged &entry : log) {
        if (bytes <= kRowBytesPerTable)
            return;
        if (!entry.whole)
            continue;
        bytes -= entry.bytes;
        entry.whole = false;
        entry.rows = {};
        entry.bytes = 0;
    }
}

void ChangeCounters::changeBegins(sqlite3 *writer) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The writer's own view first: a commit by another process after it is
    // seen at the end; one before it shows in the watcher now.
    writerSeen_ = dataVersion(writer);
    const long long watched = watchedVersion();
    if (watched != watchedSeen_)
        noteOthersWrote(watched);
    changing_ = true;
}

void ChangeCounters::changeEnded(sqlite3 *writer, const std::vector<std::string> &changed,
                                 const Inserted *inserted, const RowImages::ByTable *rows) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The watcher first: a commit by another process after this read shows
    // there next time; one before it, in the writer's view.
    const long long watched = watchedVersion();
    if (dataVersion(writer) != writerSeen_)
        ++epoch_;
    // The guard names a table once per column an update sets.
    std::vector<std::string> names;
    for (const auto &table : changed)
        names.push_back(lowerCase(table));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string &name : names) {
        Logged entry{epoch_, ++counters_[name], inserted != nullptr, {}, false, {}, 0};
        if (inserted)
            if (auto rowids = inserted->find(name); rowids != inserted->end())
                entry.rowids = rowids->second;
        if (rows) {
            entry.whole = true;
            if (auto told = rows->find(name); told != rows->end())
                entry.rows = told->second;
            for (const ChangedRow &row : entry.rows)
                for (const auto *image : {&row.before, &row.after})
                    if (*image)
                        for (const auto &cell : **image)
                            entry.bytes += cell ? cell->size() : 0;
        }
        std::deque<Logged> &log = logged_[name];
        size_t &bytes = loggedRowBytes_[name];
        bytes += entry.bytes;
        log.push_back(std::move(entry));
        if (log.size() > kLoggedPerTable) {
            bytes -= log.front().bytes;
            log.pop_front();
        }
        forgetOldestRows(log, bytes);
    }
    watchedSeen_ = watched;
    changing_ = false;
    changeEnded_.notify_all();
}

} // namespace appserver
