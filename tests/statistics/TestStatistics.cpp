// The statistics tab against a real server, asked by a staff member who is
// not privileged: picks of a member, a month and a year read back as counts,
// grid rows and chart bars; a repeated pick is answered from the kept answer.

#include "data/DataAccess.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/records/RecordSet.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "statistics/MonthChart.h"
#include "statistics/StatisticsTab.h"
#include "support/ShellFixture.h"

#include <QBarSet>
#include <QChart>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedBarSeries>
#include <QTableView>
#include <QVBoxLayout>
#include <QAccessible>
#include <QApplication>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(10, 30, 45));

// project, content, performer, created, due, state, related persons
QString task(const QString &id, const QString &content, const QString &performer,
             const QString &created, const QString &due, const QString &state,
             const QString &related = "") {
    return QString("Insert into Task values('%1','%2','Mareth','%3','%4','%5','%6','','','%7')")
        .arg(id, content, performer, created, due, state, related);
}

// The notice an agreement writes: addressed to the task's dispatcher.
QString agreed(const QString &id, const QString &dispatcher, const QString &time) {
    return QString(
               "Insert into Notice values('项目编号:%1 下的派发任务已完成！','Kestra','%2','%3')")
        .arg(id, dispatcher, time);
}

const QStringList kScene = {
    // Aldren's March: on time, late, a related person's unclaimed task past
    // due, one whose required time cannot be read, one applied, one completed
    // without any notice of its agreement.
    task("GD1", "a1", "Aldren", "2026-03-02 09:00:00", "2026-03-10 18:00:00", "2", "Aldren"),
    task("GD2", "a2", "Aldren", "2026-03-05 09:00:00", "2026-03-10 18:00:00", "2"),
    task("GD1", "a3", "", "2026-03-20 09:00:00", "2026-03-25 18:00:00", "0", "Berric|Aldren"),
    task("GD3", "a4", "Aldren", "2026-03-21 09:00:00", "下周", "0"),
    task("GD3", "a5", "Aldren", "2026-03-22 09:00:00", "2026-03-30 18:00:00", "1"),
    task("GD4", "a7", "Aldren", "2026-03-25 09:00:00", "2026-03-28 18:00:00", "2"),
    // Claimed by another: not Aldren's, though Aldren is related.
    task("GD1", "b1", "Berric", "2026-03-03 09:00:00", "2026-04-01 18:00:00", "0", "Aldren"),
    // Another year, and December: due later today, and due today at 00:00.
    task("GD2", "a6", "Aldren", "2025-03-04 09:00:00", "2025-03-10 18:00:00", "0"),
    task("GD5", "a8", "Aldren", "2026-12-01 09:00:00", "2026-12-10 09:00:00", "0"),
    task("GD5", "a9", "Aldren", "2026-12-02 09:00:00", "2026-12-10 00:00:00", "0"),
    agreed("GD1", "Mareth", "2026-03-09 12:00:00"),
    agreed("GD2", "Mareth", "2026-03-12 12:00:00"),
    // Neither dates a2: written before it was created, or to another dispatcher.
    agreed("GD2", "Mareth", "2026-03-01 12:00:00"),
    agreed("GD2", "Kestra", "2026-03-06 12:00:00"),
};

using Counts = QList<int>; // dispatched, claimed, applied, completed, late, open past due

Counts countsOf(const MonthCounts &c) {
    return {c.dispatched, c.claimed, c.applied, c.completed, c.completedLate, c.openPastDue};
}

} // namespace

class TestStatistics : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void picksReadBackAsCountsAndRows_data();
    void picksReadBackAsCountsAndRows();
    void rowsAreColouredForThePickedMember();
    void aClickOnTheChartPicksTheMonth();
    void aRepeatedPickIsAnsweredFromTheKeptAnswer();
    void aFailedPickIsSaidAndShowsNothing();
    void theDepartmentsMembersAreListed();
    void theKeyboardPicksAMemberAndAMonth();
    void agreementsAreDatedByTheJournal();

private:
    void pick(const QString &member, int month, int year = 2026);
    QStringList gridContents() const;
    QList<int> shownCounts() const;

    ShellFixture fixture_;
    std::unique_ptr<ServerConnection> connection_;
    std::unique_ptr<AppServerGateway> gateway_;
    std::unique_ptr<StatisticsTab> tab_;
};

void TestStatistics::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start({{"tb58", "pw", "Mareth"},
                             {"kestra", "k", "Kestra"},
                             {"aldren", "a", "Aldren"},
                             {"berric", "b", "Berric"}}),
             qPrintable(fixture_.server().errorText()));
    AppClock::setFixed(kNow);
    for (const QString &sql : kScene)
        QVERIFY2(fixture_.exec(sql), qPrintable(sql));
    connection_ = std::make_unique<ServerConnection>();
    connection_->setHostName(fixture_.server().host());
    connection_->setPort(fixture_.server().port());
    connection_->setCredentials("kestra", "k");
    connection_->open();
    gateway_ = std::make_unique<AppServerGateway>(connection_.get());
    DataAccess::setGateway(gateway_.get());
    tab_ = std::make_unique<StatisticsTab>();
}

void TestStatistics::cleanup() {
    tab_.reset();
    DataAccess::releaseGateway(gateway_.get());
    gateway_.reset();
    connection_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestStatistics::pick(const QString &member, int month, int year) {
    tab_->yearBox->setValue(year);
    tab_->monthButtons[month - 1]->click();
    // The tab lists the department's members once it is shown.
    for (QRadioButton *button : tab_->staffButtons)
        if (button->property("member").toString() == member) {
            button->click();
            return;
        }
    QFAIL(qPrintable(member + " is not listed"));
}

void TestStatistics::theDepartmentsMembersAreListed() {
    // Before the tab is shown (and without a server) the ten names of old.
    QCOMPARE(tab_->staffButtons.size(), 10);
    tab_->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab_.get()));
    QStringList listed;
    for (QRadioButton *button : tab_->staffButtons)
        listed << button->text();
    QCOMPARE(listed, QStringList({"Mareth", "Kestra", "Aldren", "Berric"}));
    pick("Kestra", 3);
    QCOMPARE(tab_->pickedMember(), "Kestra");
    // A member added meanwhile is listed the next time; the pick stays.
    QVERIFY(fixture_.exec("Insert into Login values('a&b','x','A&B')"));
    tab_->hide();
    tab_->show();
    QTRY_COMPARE(tab_->staffButtons.size(), 5);
    QCOMPARE(tab_->staffButtons.last()->text(), "A&&B"); // shown as typed, no Alt letter
    QCOMPARE(tab_->pickedMember(), "Kestra");
}

QList<int> TestStatistics::shownCounts() const {
    QList<int> counts;
    for (QLabel *label : tab_->countLabels)
        counts << label->text().toInt();
    return counts;
}

void TestStatistics::theKeyboardPicksAMemberAndAMonth() {
    // In a window between two other fields, as in the main window.
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    auto *above = new QLineEdit(&window);
    above->setAccessibleName("上");
    column->addWidget(above);
    column->addWidget(tab_.get());
    auto *below = new QLineEdit(&window);
    below->setAccessibleName("下");
    column->addWidget(below);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // The department's members replaced the names listed before the show.
    QCOMPARE(tab_->staffButtons.size(), 4);
    QRadioButton *mareth = tab_->staffButtons[0], *aldren = tab_->staffButtons[2];
    QRadioButton *december = tab_->monthButtons[11], *march = tab_->monthButtons[2];

    // Once round with Tab: each group is one stop, in the order they are laid
    // out, the member list on the first member while nobody is picked and the
    // months on the month picked (this month).
    mareth->setFocus(Qt::OtherFocusReason);
    QStringList stops; // as a screen reader names them
    for (int i = 0; i < 12 && (stops.isEmpty() || QApplication::focusWidget() != mareth); ++i) {
        stops << QAccessible::queryAccessibleInterface(QApplication::focusWidget())
                     ->text(QAccessible::Name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(stops,
             (QStringList{"Mareth", "十二月", "年份", "各月任务统计图", "当月任务", "下", "上"}));

    // Down twice moves to Aldren, Space picks him; Tab, then Left nine times
    // from December picks March.
    QTest::keyClick(mareth, Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), aldren);
    QCOMPARE(tab_->pickedMember(), QString()); // moving is not picking
    QTest::keyClick(aldren, Qt::Key_Space);
    QCOMPARE(tab_->pickedMember(), "Aldren");
    QCOMPARE(shownCounts(), (QList<int>{2, 2, 0, 0, 0, 1}));
    QCOMPARE(gridContents(), (QStringList{"a8", "a9"}));
    QTest::keyClick(aldren, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), december);
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QCOMPARE(QApplication::focusWidget(), march);
    QCOMPARE(tab_->pickedMonth(), 3);
    QCOMPARE(shownCounts(), (QList<int>{6, 5, 1, 3, 1, 1}));
    // Back with Shift+Tab: the member picked is the stop now.
    QTest::keyClick(march, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), aldren);

    // The chart shows that it has the keyboard, and Left and Right pick too.
    MonthChart *chart = tab_->chart;
    const QColor highlight = chart->palette().color(QPalette::Highlight);
    QVERIFY(chart->chart()->backgroundPen().color() != highlight);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), chart);
    QCOMPARE(chart->chart()->backgroundPen().color(), highlight);
    QTest::keyClick(chart, Qt::Key_Right);
    QCOMPARE(tab_->pickedMonth(), 4);
    QCOMPARE(shownCounts(), (QList<int>{0, 0, 0, 0, 0, 0}));
    QTest::keyClick(chart, Qt::Key_Left);
    QCOMPARE(tab_->pickedMonth(), 3);
    QCOMPARE(shownCounts(), (QList<int>{6, 5, 1, 3, 1, 1}));
    QCOMPARE(QApplication::focusWidget(), chart);
    QTest::keyClick(chart, Qt::Key_Tab);
    QVERIFY(chart->chart()->backgroundPen().color() != highlight);

    // A screen reader hears each choice by its name, whether it is picked,
    // and which list it belongs to.
    for (QRadioButton *button : {aldren, march, mareth}) {
        QAccessibleInterface *choice = QAccessible::queryAccessibleInterface(button);
        QCOMPARE(choice->role(), QAccessible::RadioButton);
        QCOMPARE(choice->text(QAccessible::Name), button->text());
        QCOMPARE(bool(choice->state().checked), button != mareth);
        QCOMPARE(choice->parent()->text(QAccessible::Name), button == march ? "月份" : "人员");
    }
    tab_->setParent(nullptr); // the test's, not the window's
}

QStringList TestStatistics::gridContents() const {
    QStringList contents;
    for (int row = 0; row < tab_->taskGrid->model()->rowCount(); ++row)
        contents << tab_->taskGrid->model()->index(row, 1).data().toString();
    return contents;
}

void TestStatistics::picksReadBackAsCountsAndRows_data() {
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("Aldren's March") << "Aldren" << 3 << 2026 << Counts{6, 5, 1, 3, 1, 1}
                                    << QStringList{"a1", "a2", "a3", "a4", "a5", "a7"};
    QTest::newRow("Aldren's December: due today at 00:00 is past")
        << "Aldren" << 12 << 2026 << Counts{2, 2, 0, 0, 0, 1} << QStringList{"a8", "a9"};
    QTest::newRow("a month without tasks")
        << "Aldren" << 5 << 2026 << Counts{0, 0, 0, 0, 0, 0} << QStringList{};
    QTest::newRow("another year") << "Aldren" << 3 << 2025 << Counts{1, 1, 0, 0, 0, 1}
                                  << QStringList{"a6"};
    QTest::newRow("Berric: the related task nobody claimed, and his own")
        << "Berric" << 3 << 2026 << Counts{2, 1, 0, 0, 0, 2} << QStringList{"b1", "a3"};
    QTest::newRow("a member without tasks")
        << "Jorun" << 3 << 2026 << Counts{0, 0, 0, 0, 0, 0} << QStringList{};
}

void TestStatistics::picksReadBackAsCountsAndRows() {
    QFETCH(QString, member);
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(Counts, counts);
    QFETCH(QStringList, rows);
    QCOMPARE(tab_->pickedYear(), 2026); // this year until another is picked
    pick(member, month, year);
    QCOMPARE(countsOf(tab_->shownCounts()), counts);
    Counts labels;
    for (QLabel *label : tab_->countLabels)
        labels << label->text().toInt();
    QCOMPARE(labels, counts);
    QCOMPARE(gridContents(), rows);
    QCOMPARE(tab_->taskGrid->model()->headerData(5, Qt::Horizontal).toString(), "需求时间");

    // The chart's bars are the counts of every month of that year.
    MonthChart *chart = tab_->chart;
    for (int m = 1; m <= 12; ++m) {
        const MonthCounts &c = tab_->shownYear().counts(m);
        QCOMPARE(chart->onTime->at(m - 1), qreal(c.completed - c.completedLate));
        QCOMPARE(chart->late->at(m - 1), qreal(c.completedLate));
        QCOMPARE(chart->open->at(m - 1), qreal(c.dispatched - c.completed));
    }
    QCOMPARE(chart->onTime->selectedBars(), QList<int>{month - 1});
    QVERIFY(chart->accessibleDescription().contains(member));
}

void TestStatistics::rowsAreColouredForThePickedMember() {
    pick("Aldren", 3);
    auto colourOf = [this](int row) {
        return tab_->taskGrid->model()->index(row, 0).data(Qt::BackgroundRole).value<QColor>();
    };
    QCOMPARE(colourOf(0), QColor(0x32, 0x64, 0xC8)); // completed, Aldren related
    QCOMPARE(colourOf(1), QColor(0xFA, 0xFA, 0xFA)); // Aldren not among its related persons
    QCOMPARE(colourOf(2), QColor(0xFF, 0x32, 0x32)); // open and past due
}

void TestStatistics::aClickOnTheChartPicksTheMonth() {
    tab_->resize(906, 430);
    tab_->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab_.get()));
    pick("Aldren", 3);
    QCOMPARE(tab_->chart->accessibleDescription().count("三月"), 2); // picked, and its figures
    QVERIFY(tab_->chart->accessibleDescription().contains("三月：按时完成2，超期完成1，未完成3"));

    // December's bar, halfway up its two open tasks.
    QChart *chart = tab_->chart->chart();
    const QPointF inChart = chart->mapToPosition(QPointF(11, 1), tab_->chart->series);
    const QPoint inView = tab_->chart->mapFromScene(chart->mapToScene(inChart));
    QTest::mouseClick(tab_->chart->viewport(), Qt::LeftButton, {}, inView);
    QCOMPARE(tab_->pickedMonth(), 12);
    QVERIFY(tab_->monthButtons[11]->isChecked());
    QCOMPARE(gridContents(), (QStringList{"a8", "a9"}));
    QCOMPARE(tab_->chart->open->selectedBars(), QList<int>{11});
    tab_->close();
}

void TestStatistics::aRepeatedPickIsAnsweredFromTheKeptAnswer() {
    pick("Aldren", 3);
    const PDataPacket first = tab_->shownYear().answer();
    QVERIFY(first);
    // Another month of the same year: asked again, and the server says 304.
    tab_->monthButtons[11]->click();
    QCOMPARE(tab_->shownYear().answer(), first);
    QCOMPARE(gridContents(), (QStringList{"a8", "a9"}));

    // Once a task of the year changes, the answer is new.
    QVERIFY(fixture_.exec("update Task Set TaskCompleteFlag='2' where TaskContent='a9'"));
    QVERIFY(fixture_.exec(agreed("GD5", "Mareth", "2026-12-10 09:00:00")));
    tab_->monthButtons[11]->click();
    QVERIFY(tab_->shownYear().answer() != first);
    QCOMPARE(countsOf(tab_->shownCounts()), (Counts{2, 2, 0, 1, 1, 0}));
}

void TestStatistics::aFailedPickIsSaidAndShowsNothing() {
    pick("Aldren", 3);
    fixture_.server().stop();
    tab_->monthButtons[11]->click();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains("127.0.0.1"), qPrintable(shown[0].text));
    QCOMPARE(countsOf(tab_->shownCounts()), (Counts{0, 0, 0, 0, 0, 0}));
    QCOMPARE(tab_->taskGrid->model()->rowCount(), 0);
    QCOMPARE(tab_->chart->open->at(2), 0.0);
}

QTEST_MAIN(TestStatistics)
#include "TestStatistics.moc"

// Two tasks of one project and one dispatcher: the first agreed before the
// journal existed (dated by its notice, two days ago), the second agreed now
// through the server, past its due time of yesterday. The notice alone would
// date both by the first agreement and count neither late.
void TestStatistics::agreementsAreDatedByTheJournal() {
    // The server dates the journal by its own clock.
    const QDateTime now = QDateTime::currentDateTime();
    const auto text = [](const QDateTime &at) { return at.toString("yyyy-MM-dd HH:mm:ss"); };
    const QDateTime created = now.addDays(-10);
    const QString due = text(now.addDays(-1));
    QVERIFY(fixture_.exec(
        QString("Insert into Task values('GD9','t1','Mareth','Berric','%1','%2','2','done','','')")
            .arg(text(created), due)));
    QVERIFY(fixture_.exec(
        QString("Insert into Task values('GD9','t2','Mareth','Berric','%1','%2','1','done','','')")
            .arg(text(created.addSecs(60)), due)));
    QVERIFY(fixture_.exec(agreed("GD9", "Mareth", text(now.addDays(-2)))));
    const ChangeResult agreement = gateway_->execSql(
        "update Task Set TaskCompleteFlag='2',TaskList='done',TaskPerformer='Berric' where "
        "TaskId='GD9' and TaskContent='t2' and TaskDemander='Mareth'");
    QVERIFY2(agreement.succeeded && agreement.changes == 1, agreement.refusal.c_str());

    pick("Berric", created.date().month(), created.date().year());
    const QStringList rows = gridContents();
    QVERIFY(rows.contains("t1") && rows.contains("t2"));
    const MonthCounts &counts = tab_->shownCounts();
    QCOMPARE(counts.completed, 2);
    QCOMPARE(counts.completedLate, 1);
}
