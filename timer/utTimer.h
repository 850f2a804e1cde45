#pragma once
// An interval timer whose waiting happens on a worker thread: each tick is
// handed to the user-interface thread and the worker waits until the handler
// has run, so ticks never overlap and the period is interval + handler time.

#include "KernelEvents.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

class TTarnelTimer;

class TTarnelTimerThread : public QThread {
public:
    explicit TTarnelTimerThread(TTarnelTimer *AOwner);
    ~TTarnelTimerThread() override;

    EventGroup FEvents;
    KernelEvent FTerminateHandle{FEvents};
    KernelEvent FExitHandle{FEvents};
    KernelEvent FStartHandle{FEvents};
    KernelEvent FStopHandle{FEvents};
    KernelEvent FTickDoneHandle{FEvents}; // the user-interface thread ran the tick

    // True while a tick waits for the user-interface thread.
    bool handingOver() const { return handingOver_.load(); }

protected:
    void run() override; // Execute

private:
    bool tick();        // false when the timer is going away
    bool runTicking();  // false when the loop must end
    TTarnelTimer *FTimer;
    bool terminated_ = false;
    std::atomic<bool> handingOver_{false};
};

class TTarnelTimer : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject *Sender)>;
    static constexpr int kDestroyWaitMs = 5000;

    explicit TTarnelTimer(QObject *AOwner);
    ~TTarnelTimer() override;

    int TimeInterval() const { return FTimeInterval.load(); }
    void SetTimeInterval(int aValue);
    TNotifyEvent OnTimerDo() const { return FOnTimerDo; }
    void SetOnTimerDo(TNotifyEvent handler) { FOnTimerDo = std::move(handler); }
    bool Enable() const { return FEnable; }
    void SetEnable(bool bBool);

    // How many ticks' handlers failed and were skipped.
    int failedTicks() const { return failedTicks_; }
    const TTarnelTimerThread *worker() const { return FTimerThread; }

private:
    friend class TTarnelTimerThread;
    void StartThread();
    void StopThread();
    Q_INVOKABLE void DoTimerEvent();

    std::atomic<int> FTimeInterval{1000};
    TNotifyEvent FOnTimerDo;
    TTarnelTimerThread *FTimerThread = nullptr;
    bool FEnable = false;
    std::atomic<bool> destroying_{false};
    int failedTicks_ = 0;
};
