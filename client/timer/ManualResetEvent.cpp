#include "timer/ManualResetEvent.h"

void ManualResetEvent::set() {
    {
        std::lock_guard<std::mutex> lock(group_.mutex_);
        signalled_ = true;
    }
    group_.changed_.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard<std::mutex> lock(group_.mutex_);
    signalled_ = false;
}

bool ManualResetEvent::isSet() const {
    std::lock_guard<std::mutex> lock(group_.mutex_);
    return signalled_;
}

int EventGroup::waitAny(std::initializer_list<ManualResetEvent *> events,
                        std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    int found = kTimedOut;
    auto firstSignalled = [&] {
        int index = 0;
        for (ManualResetEvent *event : events) {
            if (event->signalled_) {
                found = index;
                return true;
            }
            ++index;
        }
        return false;
    };
    if (timeout.count() < 0)
        changed_.wait(lock, firstSignalled);
    else
        changed_.wait_for(lock, timeout, firstSignalled);
    return found;
}
