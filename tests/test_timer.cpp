// The interval timer: ticks on the user-interface thread, one at a time, and
// a destruction that neither hangs nor runs a handler late.

#include "utTimer.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

struct Counter {
    int ticks = 0;
    QThread *lastThread = nullptr;
    QObject *lastSender = nullptr;
};

std::unique_ptr<TTarnelTimer> makeTimer(Counter &counter, int interval) {
    auto timer = std::make_unique<TTarnelTimer>(nullptr);
    timer->SetTimeInterval(interval);
    timer->SetOnTimerDo([&counter](QObject *sender) {
        ++counter.ticks;
        counter.lastThread = QThread::currentThread();
        counter.lastSender = sender;
    });
    return timer;
}

// Lets at least `millis` pass with the event loop running, measured by a timer
// of the same kind, so "nothing happened" means nothing happened in that time.
void letTimePass(int millis) {
    Counter reference;
    auto clock = makeTimer(reference, millis);
    clock->SetEnable(true);
    QTRY_VERIFY_WITH_TIMEOUT(reference.ticks >= 1, millis + 5000);
}

} // namespace

class TestTimer : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void ticksOnTheUiThreadWithTheTimerAsSender();
    void enableThenDisableBeforeTheWaitEndsGivesNoTick();
    void newIntervalAppliesFromTheNextWait();
    void intervalZeroTicksContinuously();
    void handlerThatDisablesGetsNoFurtherTick();
    void failedTickIsSkippedAndTickingGoesOn();
    void destructionIsPromptWhateverTheState_data();
    void destructionIsPromptWhateverTheState();
    void pendingTickIsDroppedOnDestruction();
};

void TestTimer::defaults() {
    TTarnelTimer timer(nullptr);
    QCOMPARE(timer.TimeInterval(), 1000);
    QVERIFY(!timer.Enable());
    QVERIFY(!timer.OnTimerDo());
}

void TestTimer::ticksOnTheUiThreadWithTheTimerAsSender() {
    Counter counter;
    auto timer = makeTimer(counter, 10);
    timer->SetEnable(true);
    timer->SetEnable(true); // a second "true" changes nothing
    QTRY_VERIFY(counter.ticks >= 3);
    QCOMPARE(counter.lastThread, QThread::currentThread());
    QCOMPARE(counter.lastSender, timer.get());
}

void TestTimer::enableThenDisableBeforeTheWaitEndsGivesNoTick() {
    Counter counter;
    auto timer = makeTimer(counter, 150);
    timer->SetEnable(true);
    timer->SetEnable(false);
    letTimePass(400);
    QCOMPARE(counter.ticks, 0);
    timer->SetEnable(true); // and it can start again
    QTRY_COMPARE(counter.ticks, 1);
}

void TestTimer::newIntervalAppliesFromTheNextWait() {
    Counter counter;
    auto timer = makeTimer(counter, 20);
    timer->SetEnable(true);
    QTRY_VERIFY(counter.ticks >= 1);
    timer->SetTimeInterval(100000);
    const int seen = counter.ticks;
    // The wait under way keeps its 20 ms; after it, the long interval holds.
    QTRY_VERIFY(counter.ticks >= seen + 1);
    const int settled = counter.ticks;
    letTimePass(300);
    QVERIFY(counter.ticks <= settled + 1);
}

void TestTimer::intervalZeroTicksContinuously() {
    Counter counter;
    auto timer = makeTimer(counter, 0);
    timer->SetEnable(true);
    QTRY_VERIFY(counter.ticks >= 100);
}

void TestTimer::handlerThatDisablesGetsNoFurtherTick() {
    auto timer = std::make_unique<TTarnelTimer>(nullptr);
    int ticks = 0;
    timer->SetTimeInterval(10);
    timer->SetOnTimerDo([&](QObject *) {
        ++ticks;
        timer->SetEnable(false);
    });
    timer->SetEnable(true);
    QTRY_COMPARE(ticks, 1);
    letTimePass(200);
    QCOMPARE(ticks, 1);
}

void TestTimer::failedTickIsSkippedAndTickingGoesOn() {
    auto timer = std::make_unique<TTarnelTimer>(nullptr);
    int ticks = 0;
    timer->SetTimeInterval(10);
    timer->SetOnTimerDo([&](QObject *) {
        if (++ticks == 1)
            throw std::runtime_error("the server is down");
    });
    timer->SetEnable(true);
    QTRY_VERIFY(ticks >= 3);
    QCOMPARE(timer->failedTicks(), 1);
}

void TestTimer::destructionIsPromptWhateverTheState_data() {
    QTest::addColumn<bool>("enabled");
    QTest::newRow("idle") << false;
    QTest::newRow("ticking") << true;
}

void TestTimer::destructionIsPromptWhateverTheState() {
    QFETCH(bool, enabled);
    Counter counter;
    auto timer = makeTimer(counter, 60000);
    timer->SetEnable(enabled);
    QElapsedTimer took;
    took.start();
    timer.reset();
    QVERIFY2(took.elapsed() < TTarnelTimer::kDestroyWaitMs / 2,
             qPrintable(QString("took %1 ms").arg(took.elapsed())));
}

void TestTimer::pendingTickIsDroppedOnDestruction() {
    Counter counter;
    auto timer = makeTimer(counter, 0);
    timer->SetEnable(true);
    // No events are processed here, so the first tick waits for this thread.
    QDeadlineTimer deadline(5000);
    while (!timer->worker()->handingOver() && !deadline.hasExpired())
        QThread::yieldCurrentThread();
    QVERIFY(timer->worker()->handingOver());
    QElapsedTimer took;
    took.start();
    timer.reset();
    QVERIFY(took.elapsed() < TTarnelTimer::kDestroyWaitMs / 2);
    QCoreApplication::processEvents();
    QCOMPARE(counter.ticks, 0);
}

QTEST_GUILESS_MAIN(TestTimer)
#include "test_timer.moc"
