// The interval timer: ticks on the user-interface thread, one at a time, and
// a destruction that neither hangs nor runs a handler late.

#include "timer/IntervalTimer.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

struct Counter {
    int ticks = 0;
    QThread *lastThread = nullptr;
};

std::unique_ptr<IntervalTimer> makeTimer(Counter &counter, int interval) {
    auto timer = std::make_unique<IntervalTimer>(nullptr);
    timer->setInterval(interval);
    timer->setHandler([&counter] {
        ++counter.ticks;
        counter.lastThread = QThread::currentThread();
    });
    return timer;
}

// Lets at least `millis` pass with the event loop running, measured by a timer
// of the same kind, so "nothing happened" means nothing happened in that time.
void letTimePass(int millis) {
    Counter reference;
    auto clock = makeTimer(reference, millis);
    clock->setEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(reference.ticks >= 1, millis + 5000);
}

} // namespace

class TestTimer : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void ticksOnTheUiThread();
    void enableThenDisableBeforeTheWaitEndsGivesNoTick_data();
    void enableThenDisableBeforeTheWaitEndsGivesNoTick();
    void enabledAgainBeforeTheWorkerWokeTicks_data();
    void enabledAgainBeforeTheWorkerWokeTicks();
    void newIntervalAppliesFromTheNextWait();
    void intervalZeroTicksContinuously();
    void handlerThatDisablesGetsNoFurtherTick();
    void failedTickIsSkippedAndTickingGoesOn();
    void destructionIsPromptWhateverTheState_data();
    void destructionIsPromptWhateverTheState();
    void pendingTickIsDroppedOnDestruction();
};

void TestTimer::defaults() {
    IntervalTimer timer(nullptr);
    QCOMPARE(timer.interval(), 1000);
    QVERIFY(!timer.isEnabled());
    QVERIFY(!timer.handler());
}

void TestTimer::ticksOnTheUiThread() {
    Counter counter;
    auto timer = makeTimer(counter, 10);
    timer->setEnabled(true);
    timer->setEnabled(true); // a second "true" changes nothing
    QTRY_VERIFY(counter.ticks >= 3);
    QCOMPARE(counter.lastThread, QThread::currentThread());
}

void TestTimer::enableThenDisableBeforeTheWaitEndsGivesNoTick_data() {
    QTest::addColumn<int>("enables");
    QTest::newRow("enabled once") << 1;
    // The second "true" must send nothing: a second start left pending would
    // start the ticking again right after the stop.
    QTest::newRow("enabled twice") << 2;
}

void TestTimer::enableThenDisableBeforeTheWaitEndsGivesNoTick() {
    QFETCH(int, enables);
    Counter counter;
    auto timer = makeTimer(counter, 150);
    for (int i = 0; i < enables; ++i) {
        timer->setEnabled(true);
        QTRY_VERIFY(!timer->worker()->startEvent.isSet()); // the worker took the start
    }
    timer->setEnabled(false);
    letTimePass(400);
    QCOMPARE(counter.ticks, 0);
    timer->setEnabled(true); // and it can start again
    QTRY_COMPARE(counter.ticks, 1);
}

void TestTimer::enabledAgainBeforeTheWorkerWokeTicks_data() {
    QTest::addColumn<bool>("startTakenFirst");
    // Stop and start both pending when the worker wakes: the last call holds.
    QTest::newRow("a fresh timer") << false;
    QTest::newRow("a timer in a long wait, given a short interval") << true;
}

void TestTimer::enabledAgainBeforeTheWorkerWokeTicks() {
    QFETCH(bool, startTakenFirst);
    Counter counter;
    auto timer = makeTimer(counter, 100000);
    timer->setEnabled(true);
    if (startTakenFirst)
        QTRY_VERIFY(!timer->worker()->startEvent.isSet());
    for (int i = 0; i < 20; ++i) {
        timer->setEnabled(false);
        timer->setInterval(1);
        timer->setEnabled(true);
    }
    QTRY_VERIFY(counter.ticks >= 2);
}

void TestTimer::newIntervalAppliesFromTheNextWait() {
    Counter counter;
    auto timer = makeTimer(counter, 20);
    timer->setEnabled(true);
    QTRY_VERIFY(counter.ticks >= 1);
    timer->setInterval(100000);
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
    timer->setEnabled(true);
    QTRY_VERIFY(counter.ticks >= 100);
}

void TestTimer::handlerThatDisablesGetsNoFurtherTick() {
    auto timer = std::make_unique<IntervalTimer>(nullptr);
    int ticks = 0;
    timer->setInterval(10);
    timer->setHandler([&] {
        ++ticks;
        timer->setEnabled(false);
    });
    timer->setEnabled(true);
    QTRY_COMPARE(ticks, 1);
    letTimePass(200);
    QCOMPARE(ticks, 1);
}

void TestTimer::failedTickIsSkippedAndTickingGoesOn() {
    auto timer = std::make_unique<IntervalTimer>(nullptr);
    int ticks = 0;
    timer->setInterval(10);
    timer->setHandler([&] {
        if (++ticks == 1)
            throw std::runtime_error("the server is down");
    });
    timer->setEnabled(true);
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
    timer->setEnabled(enabled);
    QElapsedTimer took;
    took.start();
    timer.reset();
    QVERIFY2(took.elapsed() < IntervalTimer::kDestroyWaitMs / 2,
             qPrintable(QString("took %1 ms").arg(took.elapsed())));
}

void TestTimer::pendingTickIsDroppedOnDestruction() {
    Counter counter;
    auto timer = makeTimer(counter, 0);
    timer->setEnabled(true);
    // No events are processed here, so the first tick waits for this thread.
    QDeadlineTimer deadline(5000);
    while (!timer->worker()->handingOver() && !deadline.hasExpired())
        QThread::yieldCurrentThread();
    QVERIFY(timer->worker()->handingOver());
    QElapsedTimer took;
    took.start();
    timer.reset();
    QVERIFY(took.elapsed() < IntervalTimer::kDestroyWaitMs / 2);
    QCoreApplication::processEvents();
    QCOMPARE(counter.ticks, 0);
}

QTEST_GUILESS_MAIN(TestTimer)
#include "TestTimer.moc"
