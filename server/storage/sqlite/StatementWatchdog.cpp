#include "storage/sqlite/StatementWatchdog.h"

#include <sqlite3.h>

#include <algorithm>

namespace appserver {

StatementWatchdog::StatementWatchdog() : thread_([this] { watch(); }) {}

StatementWatchdog::~StatementWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void StatementWatchdog::arm(sqlite3 *db, Clock::time_point deadline) {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.emplace_back(db, deadline);
    // Statements share one limit, so a new deadline rarely comes before the one
    // the watchdog sleeps towards; only then does it need waking.
    if (deadline < sleepsUntil_) {
        sleepsUntil_ = deadline;
        wake_.notify_one();
    }
}

void StatementWatchdog::disarm(sqlite3 *db) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(armed_.begin(), armed_.end(),
                              [db](const auto &entry) { return entry.first == db; });
    if (found != armed_.end())
        armed_.erase(found);
}

void StatementWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const auto now = Clock::now();
        auto next = Clock::time_point::max();
        for (auto entry = armed_.begin(); entry != armed_.end();) {
            if (entry->second <= now) {
                // Safe from this thread while the owner keeps db open, which it
                // does until it has disarmed under this same lock.
                sqlite3_interrupt(entry->first);
                entry = armed_.erase(entry);
            } else {
                next = std::min(next, entry->second);
                ++entry;
            }
        }
        sleepsUntil_ = next;
        if (next == Clock::time_point::max())
            wake_.wait(lock);
        else
            wake_.wait_until(lock, next);
    }
}

} // namespace appserver
