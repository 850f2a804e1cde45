#include "storage/WorkerQueue.h"

namespace appserver {

WorkerQueue::WorkerQueue(Storage &storage, int workers, size_t capacity,
                         std::chrono::milliseconds longestWait)
    : capacity_(capacity), longestWait_(longestWait) {
    for (int i = 0; i < workers; ++i)
        sessions_.push_back(storage.openSession());
    for (auto &session : sessions_)
        threads_.emplace_back([this, &session] { work(*session); });
    if (longestWait_.count() > 0)
        expiry_ = std::thread([this] { expire(); });
}

WorkerQueue::~WorkerQueue() { finish(); }

bool WorkerQueue::submit(Job job, std::function<void()> tooLate) {
    // expire() sleeps until the first limited job's time; a later one ends later.
    bool firstLimited = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finishing_ || jobs_.size() >= capacity_)
            return false;
        if (tooLate)
            firstLimited = limited_++ == 0;
        jobs_.push_back({std::move(job), std::move(tooLate), std::chrono::steady_clock::now()});
    }
    ready_.notify_one();
    if (firstLimited && expiry_.joinable())
        queued_.notify_one();
    return true;
}

bool WorkerQueue::crowded() {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size() > capacity_ / 2;
}

void WorkerQueue::finish() {
    std::deque<Waiting> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
        waiting.swap(jobs_);
        limited_ = 0;
    }
    ready_.notify_all();
    queued_.notify_all();
    for (Waiting &one : waiting)
        one.job(nullptr);
    for (auto &thread : threads_)
        if (thread.joinable())
            thread.join();
    if (expiry_.joinable())
        expiry_.join();
}

std::vector<WorkerQueue::Waiting>
WorkerQueue::takeExpired(std::chrono::steady_clock::time_point now) {
    std::vector<Waiting> expired;
    for (auto waiting = jobs_.begin(); waiting != jobs_.end();) {
        if (waiting->tooLate && now - waiting->queued >= longestWait_) {
            --limited_;
            expired.push_back(std::move(*waiting));
            waiting = jobs_.erase(waiting);
        } else {
            ++waiting;
        }
    }
    return expired;
}

void WorkerQueue::expire() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finishing_) {
        const auto now = std::chrono::steady_clock::now();
        std::vector<Waiting> expired = takeExpired(now);
        if (!expired.empty()) {
            lock.unlock();
            for (Waiting &one : expired)
                one.tooLate();
            lock.lock();
            continue;
        }
        // Jobs wait in the order they came: the first with a limit ends first.
        auto next = std::chrono::steady_clock::time_point::max();
        for (const Waiting &waiting : jobs_)
            if (waiting.tooLate) {
                next = waiting.queued + longestWait_;
                break;
            }
        if (next == std::chrono::steady_clock::time_point::max())
            queued_.wait(lock);
        else
            queued_.wait_until(lock, next);
    }
}

void WorkerQueue::work(Session &session) {
    for (;;) {
        Waiting next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return finishing_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            next = std::move(jobs_.front());
            jobs_.pop_front();
            if (next.tooLate)
                --limited_;
        }
        // Checked as the job's turn comes: what its caller is told is then
        // what happened.
        if (next.tooLate && longestWait_.count() > 0 &&
            std::chrono::steady_clock::now() - next.queued >= longestWait_)
            next.tooLate();
        else
            next.job(&session);
    }
}

} // namespace appserver
