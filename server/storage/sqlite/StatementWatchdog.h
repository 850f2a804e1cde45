#pragma once
// Stops statements that run past their deadline with sqlite3_interrupt().
// SQLite looks at the interrupt flag at the bottom of every loop, so a
// statement stops within one row of its deadline however costly each row is,
// and nothing reads a clock while it runs.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct sqlite3;

namespace appserver {

class StatementWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    StatementWatchdog();
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog &) = delete;
    StatementWatchdog &operator=(const StatementWatchdog &) = delete;

    // From now until disarm(), db is interrupted once deadline has passed.
    void arm(sqlite3 *db, Clock::time_point deadline);
    // A late interrupt is harmless: SQLite clears the flag when it next
    // prepares a statement on an idle connection.
    void disarm(sqlite3 *db);

private:
    void watch();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::pair<sqlite3 *, Clock::time_point>> armed_;
    Clock::time_point sleepsUntil_ = Clock::time_point::max();
    bool stopping_ = false;
    std::thread thread_; // last: starts once the rest is ready
};

} // namespace appserver
