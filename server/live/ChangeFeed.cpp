#include "live/ChangeFeed.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace appserver {
namespace {

// After a look-up the session could not answer (a change under way).
constexpr auto kRetryAfterUnknown = std::chrono::milliseconds(20);

} // namespace

ChangeFeed::ChangeFeed(Storage &storage, Timing timing)
    : session_(storage.openSession()), timing_(timing), thread_([this] { run(); }) {}

ChangeFeed::~ChangeFeed() {
    finish();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

uint64_t ChangeFeed::wait(const std::string &since, Answer answer) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (finishing_ || (now_ && now_->token() != since)) {
        const std::string versions = finishing_ ? std::string() : versionsNow();
        lock.unlock();
        answer(versions);
        return 0;
    }
    const uint64_t id = nextId_++;
    const bool first = waiters_.empty();
    waiters_.emplace(id, Waiter{since, std::move(answer), Clock::now() + timing_.quiet});
    lock.unlock();
    if (first)
        wake_.notify_all(); // the thread sleeps without waiters
    return id;
}

void ChangeFeed::forget(uint64_t id) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = waiters_.find(id);
    if (found == waiters_.end())
        return;
    Answer answer = std::move(found->second.answer);
    waiters_.erase(found);
    const std::string versions = versionsNow();
    lock.unlock();
    answer(versions);
}

void ChangeFeed::changed() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lookUpNow_ = true;
    }
    wake_.notify_all();
}

void ChangeFeed::setBusy(std::function<bool()> busy) {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = std::move(busy);
}

void ChangeFeed::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    finishing_ = true;
    std::map<uint64_t, Waiter> answered;
    answered.swap(waiters_);
    lock.unlock();
    for (auto &[id, waiter] : answered)
        waiter.answer(std::string());
}

size_t ChangeFeed::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiters_.size();
}

std::string ChangeFeed::versionsNow() const {
    return (now_ ? *now_ : TableVersions{}).json();
}

std::string ChangeFeed::loginVersion() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_ ? now_->versions[0] : std::string();
}

bool ChangeFeed::lookUp() {
    std::optional<TableVersions> read;
    try {
        read = readTableVersions(*session_);
    } catch (const std::exception &error) {
        std::fprintf(stderr,
                     "solvane-server: the change feed cannot read the tables' versions: "
                     "%s\n",
                     error.what());
    }
    if (!read)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = std::move(read);
    return true;
}

void ChangeFeed::run() {
    auto nextProbe = Clock::now();
    for (;;) {
        bool lookUpNow = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // Asleep while nobody waits and nothing changed; else until the
            // next probe or the first waiter's quiet period ends.
            const auto due = [&] {
                return finishing_ || lookUpNow_ || (!waiters_.empty() && Clock::now() >= nextProbe);
            };
            if (waiters_.empty())
                wake_.wait(lock, [&] { return due() || !waiters_.empty(); });
            wake_.wait_until(lock, nextProbe, due);
            if (finishing_ && waiters_.empty())
                return;
            lookUpNow = lookUpNow_ || Clock::now() >= nextProbe;
            lookUpNow_ = false;
        }
        if (lookUpNow) {
            if (lookUp()) {
                nextProbe = Clock::now() + timing_.probeEvery;
            } else {
                nextProbe = Clock::now() + kRetryAfterUnknown;
            }
        }

        // Answer the waiters whose versions changed, or whose quiet period is over.
        std::vector<Answer> due;
        std::string versions;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto now = Clock::now();
            if (busy_ && busy_()) {
                nextProbe = std::min(nextProbe, now + timing_.slice);
                continue;
            }
            const std::string token = now_ ? now_->token() : std::string();
            versions = versionsNow();
            for (auto it = waiters_.begin(); it != waiters_.end();) {
                if (due.size() == timing_.answersPerSlice) {
                    // The rest in the next slice.
                    nextProbe = std::min(nextProbe, now + timing_.slice);
                    break;
                }
                if ((now_ && it->second.since != token) || now >= it->second.until) {
                    due.push_back(std::move(it->second.answer));
                    it = waiters_.erase(it);
                } else {
                    if (it->second.until < nextProbe)
                        nextProbe = it->second.until;
                    ++it;
                }
            }
        }
        for (Answer &answer : due)
            answer(versions);
    }
}

} // namespace appserver
