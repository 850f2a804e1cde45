#pragma once
// Manual-reset events and a wait on several of them with a time-out. Events
// that are waited on together belong to one EventGroup, which owns the lock
// and the condition they share; nothing here polls.

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <vector>

class EventGroup;

class ManualResetEvent {
public:
    explicit ManualResetEvent(EventGroup &group) : group_(group) {}
    void set(); // stays signalled until reset()
    void reset();
    bool isSet() const;

private:
    friend class EventGroup;
    EventGroup &group_;
    bool signalled_ = false;
};

class EventGroup {
public:
    static constexpr int kTimedOut = -1;
    // Blocks until one of the events is signalled or the time-out passes.
    // Returns the index of the first signalled event in the order given,
    // or kTimedOut. A negative timeout waits without limit.
    int waitAny(std::initializer_list<ManualResetEvent *> events,
                std::chrono::milliseconds timeout);

private:
    friend class ManualResetEvent;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};
