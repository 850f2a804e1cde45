#pragma once
// Reuses database sessions across requests: a request borrows one and gives it
// back, so the number of open connections follows the number of busy workers.

#include "storage.h"

#include <mutex>
#include <vector>

namespace appserver {

class SessionPool {
public:
    explicit SessionPool(Storage &storage) : storage_(storage) {}

    class Lease {
    public:
        Lease(SessionPool &pool, std::unique_ptr<Session> session)
            : pool_(pool), session_(std::move(session)) {}
        ~Lease() { pool_.giveBack(std::move(session_)); }
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        Session &operator*() { return *session_; }
        Session *operator->() { return session_.get(); }

    private:
        SessionPool &pool_;
        std::unique_ptr<Session> session_;
    };

    Lease borrow();

private:
    void giveBack(std::unique_ptr<Session> session);

    Storage &storage_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Session>> idle_;
};

} // namespace appserver
