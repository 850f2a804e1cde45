#include "timer/IntervalTimer.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

using std::chrono::milliseconds;

IntervalTimerWorker::IntervalTimerWorker(IntervalTimer *owner) : timer_(owner) {
    Q_ASSERT_X(owner, "IntervalTimer", "a timer needs its owner");
}

IntervalTimerWorker::~IntervalTimerWorker() {
    // Every wait of the worker includes "terminate", so this returns at once
    // once the timer has signalled it.
    terminateEvent.set();
    wait();
}

void IntervalTimerWorker::run() {
    while (!terminated_) {
        switch (events.waitAny({&startEvent, &terminateEvent, &stopEvent}, milliseconds(-1))) {
        case 0:
            startEvent.reset();
            if (timer_->ticking_.load() && (terminated_ || !runTicking()))
                terminated_ = true;
            break;
        case 1:
            terminateEvent.reset();
            terminated_ = true;
            break;
        case 2:
            stopEvent.reset();
            break;
        default:
            break;
        }
    }
    exitedEvent.set();
}

bool IntervalTimerWorker::runTicking() {
    for (;;) {
        // Read at the start of each wait: a new interval applies from the next one.
        // A negative interval ticks like 0.
        const int interval = std::max(0, timer_->interval_.load());
        switch (events.waitAny({&stopEvent, &terminateEvent}, milliseconds(interval))) {
        case 0:
            stopEvent.reset();
            if (!timer_->ticking_.load())
                return true;
            break; // enabled again since: tick on, at the interval now set
        case 1:
            return false;
        default:
            if (terminated_ || !tick())
                return false;
        }
    }
}

bool IntervalTimerWorker::tick() {
    tickDoneEvent.reset();
    QMetaObject::invokeMethod(timer_, "runTick", Qt::QueuedConnection);
    // Waiting for the user-interface thread, unless the timer goes away first;
    // then the tick is dropped: Qt discards the queued call with its receiver.
    handingOver_ = true;
    const bool ran = events.waitAny({&tickDoneEvent, &terminateEvent}, milliseconds(-1)) == 0;
    handingOver_ = false;
    return ran;
}

IntervalTimer::IntervalTimer(QObject *owner) : QObject(owner) {
    worker_ = new IntervalTimerWorker(this);
    worker_->start();
}

IntervalTimer::~IntervalTimer() {
    destroying_ = true;
    worker_->terminateEvent.set();
    worker_->events.waitAny({&worker_->exitedEvent}, milliseconds(kDestroyWaitMs));
    delete worker_;
}

void IntervalTimer::setInterval(int intervalMs) {
    if (intervalMs != interval_.load())
        interval_.exchange(intervalMs);
}

void IntervalTimer::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    if (enabled_) {
        stopTicking();
        enabled_ = false;
    } else {
        startTicking();
        enabled_ = true;
    }
}

void IntervalTimer::startTicking() {
    ticking_.store(true);
    worker_->startEvent.set();
}
void IntervalTimer::stopTicking() {
    ticking_.store(false);
    worker_->stopEvent.set();
}

void IntervalTimer::runTick() {
    if (destroying_)
        return;
    try {
        if (handler_)
            handler_();
    } catch (...) {
        // A failed tick is skipped; the next one comes as usual.
        ++failedTicks_;
    }
    worker_->tickDoneEvent.set();
}
