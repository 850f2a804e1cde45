#include "utTimer.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

using std::chrono::milliseconds;

TTarnelTimerThread::TTarnelTimerThread(TTarnelTimer *AOwner) : FTimer(AOwner) {
    Q_ASSERT_X(AOwner, "utTimer", "Assertion failure");
}

TTarnelTimerThread::~TTarnelTimerThread() {
    // Every wait of the worker includes "terminate", so this returns at once
    // once the timer has signalled it.
    FTerminateHandle.set();
    wait();
}

void TTarnelTimerThread::run() {
    while (!terminated_) {
        switch (FEvents.waitAny({&FStartHandle, &FTerminateHandle, &FStopHandle}, milliseconds(-1))) {
        case 0:
            FStartHandle.reset();
            if (terminated_ || !runTicking())
                terminated_ = true;
            break;
        case 1:
            FTerminateHandle.reset();
            terminated_ = true;
            break;
        case 2:
            FStopHandle.reset();
            break;
        default:
            break;
        }
    }
    FExitHandle.set();
}

bool TTarnelTimerThread::runTicking() {
    for (;;) {
        // Read at the start of each wait: a new interval applies from the next one.
        // A negative interval ticks like 0.
        const int interval = std::max(0, FTimer->FTimeInterval.load());
        switch (FEvents.waitAny({&FStopHandle, &FTerminateHandle}, milliseconds(interval))) {
        case 0:
            FStopHandle.reset();
            return true;
        case 1:
            return false;
        default:
            if (terminated_ || !tick())
                return false;
        }
    }
}

bool TTarnelTimerThread::tick() {
    FTickDoneHandle.reset();
    QMetaObject::invokeMethod(FTimer, "DoTimerEvent", Qt::QueuedConnection);
    // Waiting for the user-interface thread, unless the timer goes away first;
    // then the tick is dropped: Qt discards the queued call with its receiver.
    handingOver_ = true;
    const bool ran =
        FEvents.waitAny({&FTickDoneHandle, &FTerminateHandle}, milliseconds(-1)) == 0;
    handingOver_ = false;
    return ran;
}

TTarnelTimer::TTarnelTimer(QObject *AOwner) : QObject(AOwner) {
    FTimerThread = new TTarnelTimerThread(this);
    FTimerThread->start();
}

TTarnelTimer::~TTarnelTimer() {
    destroying_ = true;
    FTimerThread->FTerminateHandle.set();
    FTimerThread->FEvents.waitAny({&FTimerThread->FExitHandle}, milliseconds(kDestroyWaitMs));
    delete FTimerThread;
}

void TTarnelTimer::SetTimeInterval(int aValue) {
    if (aValue != FTimeInterval.load())
        FTimeInterval.exchange(aValue);
}

void TTarnelTimer::SetEnable(bool bBool) {
    if (bBool == FEnable)
        return;
    if (FEnable) {
        StopThread();
        FEnable = false;
    } else {
        StartThread();
        FEnable = true;
    }
}

void TTarnelTimer::StartThread() { FTimerThread->FStartHandle.set(); }
void TTarnelTimer::StopThread() { FTimerThread->FStopHandle.set(); }

void TTarnelTimer::DoTimerEvent() {
    if (destroying_)
        return;
    try {
        if (FOnTimerDo)
            FOnTimerDo(this);
    } catch (...) {
        // A failed tick is skipped; the next one comes as usual.
        ++failedTicks_;
    }
    FTimerThread->FTickDoneHandle.set();
}
