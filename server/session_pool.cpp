#include "session_pool.h"

namespace appserver {

const char *methodName(Method method) {
    switch (method) {
    case Method::OpenSQL: return "OpenSQL";
    case Method::ExecSQL: return "ExecSQL";
    case Method::DelSQL: return "DelSQL";
    }
    return "?";
}

SessionPool::Lease SessionPool::borrow() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            auto session = std::move(idle_.back());
            idle_.pop_back();
            return Lease(*this, std::move(session));
        }
    }
    return Lease(*this, storage_.openSession());
}

void SessionPool::giveBack(std::unique_ptr<Session> session) {
    if (!session)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(session));
}

} // namespace appserver
