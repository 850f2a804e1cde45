#pragma once
// An interval timer whose waiting happens on a worker thread: each tick is
// handed to the user-interface thread and the worker waits until the handler
// has run, so ticks never overlap and the period is interval + handler time.

#include "timer/ManualResetEvent.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

class IntervalTimer;

class IntervalTimerWorker : public QThread {
public:
    explicit IntervalTimerWorker(IntervalTimer *owner);
    ~IntervalTimerWorker() override;

    EventGroup events;
    ManualResetEvent terminateEvent{events};
    ManualResetEvent exitedEvent{events};
    ManualResetEvent startEvent{events};
    ManualResetEvent stopEvent{events};
    ManualResetEvent tickDoneEvent{events}; // the user-interface thread ran the tick

    // True while a tick waits for the user-interface thread.
    bool handingOver() const { return handingOver_.load(); }

protected:
    void run() override;

private:
    bool tick();       // false when the timer is going away
    bool runTicking(); // false when the loop must end
    IntervalTimer *timer_;
    bool terminated_ = false;
    std::atomic<bool> handingOver_{false};
};

class IntervalTimer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void()>;
    static constexpr int kDestroyWaitMs = 5000;

    explicit IntervalTimer(QObject *owner);
    ~IntervalTimer() override;

    int interval() const { return interval_.load(); }
    void setInterval(int intervalMs);
    Handler handler() const { return handler_; }
    void setHandler(Handler handler) { handler_ = std::move(handler); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);

    // How many ticks' handlers failed and were skipped.
    int failedTicks() const { return failedTicks_; }
    const IntervalTimerWorker *worker() const { return worker_; }

private:
    friend class IntervalTimerWorker;
    void startTicking();
    void stopTicking();
    Q_INVOKABLE void runTick();

    std::atomic<int> interval_{1000};
    // What the last setEnabled() asked for. The start and stop events only
    // wake the worker: both may be pending at once, and this says which came last.
    std::atomic<bool> ticking_{false};
    Handler handler_;
    IntervalTimerWorker *worker_ = nullptr;
    bool enabled_ = false;
    std::atomic<bool> destroying_{false};
    int failedTicks_ = 0;
};
