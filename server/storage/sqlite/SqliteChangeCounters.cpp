#include "SqliteChangeCounters.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
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

std::optional<std::string> ChangeCounters::versionOf(const std::vector<std::string> &tables) {
    std::lock_guard<std::mutex> lock(mutex_);
    const long long watched = watchedVersion();
    if (watched != watchedSeen_) {
        if (changing_)
            return std::nullopt;
        noteOthersWrote(watched); // the writer is idle: someone else wrote
    }
    std::string version = instance_ + '-' + std::to_string(epoch_);
    for (const auto &table : tables)
        version += '.' + std::to_string(counters_[lowerCase(table)]);
    return version;
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

void ChangeCounters::changeEnded(sqlite3 *writer, const std::vector<std::string> &changed) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The watcher first: a commit by another process after this read shows
    // there next time; one before it, in the writer's view.
    const long long watched = watchedVersion();
    if (dataVersion(writer) != writerSeen_)
        ++epoch_;
    for (const auto &table : changed)
        ++counters_[lowerCase(table)];
    watchedSeen_ = watched;
    changing_ = false;
}

} // namespace appserver
