#pragma once
// A fixed set of database workers, each owning one session, fed by one bounded
// queue. A full queue refuses at once, so a flood of requests costs a quick
// refusal rather than a growing wait for everyone.

#include "storage/Storage.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace appserver {

class WorkerQueue {
public:
    // Called with a worker's session, or with none when the queue finishes
    // before the job's turn comes.
    using Job = std::function<void(Session *)>;

    // Opens every worker's session at once, so a database that cannot be
    // opened is noticed at start. longestWait, when not zero: a job that has
    // waited that long for a worker is not run, and its caller is told at
    // that moment, whatever the workers are doing.
    WorkerQueue(Storage &storage, int workers, size_t capacity,
                std::chrono::milliseconds longestWait = {});
    ~WorkerQueue();
    WorkerQueue(const WorkerQueue &) = delete;
    WorkerQueue &operator=(const WorkerQueue &) = delete;

    // False when capacity jobs are waiting already, or the workers are finishing.
    // tooLate, when given, is called instead of job once it has waited longestWait.
    bool submit(Job job, std::function<void()> tooLate = {});
    // Lets the jobs under way end, calls the waiting ones without a session,
    // then ends the workers.
    void finish();
    // Whether more than half the queue's places are taken.
    bool crowded();

private:
    struct Waiting {
        Job job;
        std::function<void()> tooLate;
        std::chrono::steady_clock::time_point queued;
    };
    void work(Session &session);
    // Tells the jobs that waited too long, as soon as they have.
    void expire();
    // Removes from jobs_ those that waited too long; with mutex_ held.
    std::vector<Waiting> takeExpired(std::chrono::steady_clock::time_point now);

    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable queued_; // for expire(): a first job with a limit, or the end
    size_t limited_ = 0;             // jobs waiting with a tooLate
    std::deque<Waiting> jobs_;
    size_t capacity_;
    std::chrono::milliseconds longestWait_;
    bool finishing_ = false;
    std::vector<std::unique_ptr<Session>> sessions_;
    std::vector<std::thread> threads_;
    std::thread expiry_;
};

} // namespace appserver
