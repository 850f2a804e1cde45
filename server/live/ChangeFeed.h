#pragma once
// Clients that wait for a change of the tables they show. Each waiter names
// the versions it has seen (a token) and is answered with the versions now
// as soon as they differ, or after a quiet period so that no proxy cuts the
// connection. Waiters cost no thread: one thread looks the versions up for
// all of them, at once after a change of this server and every probe
// interval while anyone waits (changes of other servers or processes).

#include "live/TableVersions.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace appserver {

class ChangeFeed {
public:
    using Clock = std::chrono::steady_clock;
    struct Timing {
        std::chrono::milliseconds quiet{25000};     // longest wait without a change
        std::chrono::milliseconds probeEvery{1000}; // for changes made elsewhere
        // A change wakes its waiters this many at a time, a slice apart: each
        // then asks for what changed, and a department asking at once would
        // overflow the workers' queue.
        size_t answersPerSlice = 100;
        std::chrono::milliseconds slice{20};
    };
    // Called once per waiter with the JSON of the versions now
    // (TableVersions::json()), from whichever thread answers it; with an
    // empty text when the feed is finishing (the server stops).
    using Answer = std::function<void(const std::string &versions)>;

    // The feed's own session reads the versions; throws as openSession() does.
    ChangeFeed(Storage &storage, Timing timing);
    ~ChangeFeed(); // answers every waiter left
    ChangeFeed(const ChangeFeed &) = delete;
    ChangeFeed &operator=(const ChangeFeed &) = delete;

    // Answers at once when since is not the token of the versions now (also
    // when it is empty), else once they change or the quiet period has
    // passed. The id to forget the waiter by.
    uint64_t wait(const std::string &since, Answer answer);
    // The waiter's client has gone: it is answered now, if it was not yet.
    void forget(uint64_t id);
    // This server has committed a change: the versions are looked up now.
    void changed();
    // While busy() holds, waiters told of a change wait a slice longer:
    // those told ask the workers at once, which must have room for them.
    void setBusy(std::function<bool()> busy);
    // Answers every waiter now and every later one at once, with an empty text.
    void finish();

    size_t waiting() const;
    // The Login table's version as last looked up; empty before the first.
    std::string loginVersion() const;

private:
    struct Waiter {
        std::string since;
        Answer answer;
        Clock::time_point until;
    };
    void run();
    // Reads the versions; false when the session could not tell.
    bool lookUp();
    // What a waiter is answered now; with mutex_ held.
    std::string versionsNow() const;

    std::unique_ptr<Session> session_; // the feed thread's only
    std::function<bool()> busy_;
    Timing timing_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<TableVersions> now_; // nullopt until read
    std::map<uint64_t, Waiter> waiters_;
    uint64_t nextId_ = 1;
    bool lookUpNow_ = true;
    bool finishing_ = false;
    std::thread thread_; // last: starts once the rest is ready
};

} // namespace appserver
