#pragma once
// Raised from another thread when nobody waits for a query's answer any
// more (its client closed the connection): the session running the query
// stops it. Readable as a file descriptor, so a session waiting on its
// database's socket wakes for it too.

#include <atomic>

namespace appserver {

class QueryStop {
public:
    QueryStop();
    ~QueryStop();
    QueryStop(const QueryStop &) = delete;
    QueryStop &operator=(const QueryStop &) = delete;

    void raise();
    bool raised() const { return raised_.load(std::memory_order_relaxed); }
    // Readable once raised; -1 when the system gave none (raised() still holds).
    int descriptor() const { return eventFd_; }

private:
    std::atomic<bool> raised_{false};
    int eventFd_ = -1;
};

} // namespace appserver
