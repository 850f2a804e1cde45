#include "WorkerQueue.h"

namespace appserver {

WorkerQueue::WorkerQueue(Storage &storage, int workers, size_t capacity) : capacity_(capacity) {
    for (int i = 0; i < workers; ++i)
        sessions_.push_back(storage.openSession());
    for (auto &session : sessions_)
        threads_.emplace_back([this, &session] { work(*session); });
}

WorkerQueue::~WorkerQueue() { finish(); }

bool WorkerQueue::submit(Job job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finishing_ || jobs_.size() >= capacity_)
            return false;
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
    return true;
}

void WorkerQueue::finish() {
    std::deque<Job> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
        waiting.swap(jobs_);
    }
    ready_.notify_all();
    for (Job &job : waiting)
        job(nullptr);
    for (auto &thread : threads_)
        if (thread.joinable())
            thread.join();
}

void WorkerQueue::work(Session &session) {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return finishing_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job(&session);
    }
}

} // namespace appserver
