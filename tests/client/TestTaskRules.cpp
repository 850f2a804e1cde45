// The business flow's steps, the task grid's colours and the note lines:
// rules without a server.

#include "tasks/BusinessFlow.h"
#include "tasks/FlowChart.h"
#include "tasks/NoteLines.h"
#include "tasks/TaskGrid.h"

#include <QtTest>

class TestTaskRules : public QObject {
    Q_OBJECT
private slots:
    void flowSteps_data();
    void flowSteps();
    void chartPlacesEveryStepOnce();
    void rowColour_data();
    void rowColour();
    void noteLines_data();
    void noteLines();
};

void TestTaskRules::flowSteps_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("chartFirstLine");
    QTest::addColumn<QString>("taskFirstLine");
    QTest::addColumn<QString>("related");
    QTest::newRow("1") << 0 << "业务需求"
                       << "业务需求"
                       << "Kestra|Halvic";
    QTest::newRow("2") << 1 << "技术评估-结构、施工"
                       << "技术评估结构、施工"
                       << "Aldren|Berric";
    QTest::newRow("3") << 2 << "技术评估-系统配置"
                       << "技术评估系统配置"
                       << "Fennick|Gessa";
    QTest::newRow("4") << 3 << "技术评估-LCD配置"
                       << "技术评估LCD配置"
                       << "Gessa";
    QTest::newRow("5") << 4 << "商务评估"
                       << "商务评估"
                       << "Kestra|Halvic";
    QTest::newRow("6") << 5 << "订单确认"
                       << "订单确认"
                       << "Kestra|Halvic";
    QTest::newRow("7") << 6 << "生产计划编制、下达"
                       << "生产计划编制、下达"
                       << "Elsken";
    QTest::newRow("8") << 7 << "生产-模组BOM"
                       << "生产-模组BOM"
                       << "Calwen";
    QTest::newRow("9") << 8 << "生产-电气BOM"
                       << "生产-电气BOM"
                       << "Elsken";
    QTest::newRow("10") << 9 << "生产-结构BOM"
                        << "生产-结构BOM"
                        << "Aldren|Berric";
    QTest::newRow("11") << 10 << "生产"
                        << "生产"
                        << "Ivrel";
    QTest::newRow("12") << 11 << "成品交库"
                        << "成品入库"
                        << "Jorun";
    QTest::newRow("13") << 12 << ""
                        << ""
                        << "";
}

void TestTaskRules::flowSteps() {
    QFETCH(int, step);
    QFETCH(QString, chartFirstLine);
    QFETCH(QString, taskFirstLine);
    QFETCH(QString, related);
    const auto &node = BusinessFlow::steps().at(step);
    QCOMPARE(node.chartLines.size(), 3);
    QCOMPARE(node.chartLines.first(), chartFirstLine);
    QCOMPARE(node.taskText.split('\n').first(), taskFirstLine);
    QCOMPARE(node.taskText.split('\n').size(), step == 12 ? 1 : 2);
    QCOMPARE(node.relatedPersons, related);
}

void TestTaskRules::chartPlacesEveryStepOnce() {
    FlowChart chart;
    QSet<QPair<int, int>> places;
    for (int step = 0; step < BusinessFlow::kSteps; ++step) {
        const QRect box = chart.nodeRect(step);
        QCOMPARE(box.size(), QSize(169, 54));
        places.insert({box.left(), box.top()});
        QCOMPARE(chart.stepAt(box.center()), step);
    }
    QCOMPARE(places.size(), BusinessFlow::kSteps);
    QCOMPARE(chart.nodeRect(6).topLeft(), QPoint(0, 257)); // step 7: left column, fourth row
    QCOMPARE(chart.stepAt(QPoint(180, 5)), -1);
    QCOMPARE(BusinessFlow::arrows().size(), 13);
}

void TestTaskRules::rowColour_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("due");
    QTest::addColumn<QString>("related");
    QTest::addColumn<QColor>("colour");
    const QColor open(0xC8, 0x64, 0x32), overdue(0xFF, 0x32, 0x32), applied(0x64, 0xC8, 0x32),
        done(0x32, 0x64, 0xC8), neutral(0xFA, 0xFA, 0xFA);
    // Today is 2026-12-10, 10:30.
    QTest::newRow("open, due tomorrow") << "0"
                                        << "2026-12-11 09:00:00"
                                        << "A|Kestra" << open;
    QTest::newRow("open, due later today") << "0"
                                           << "2026-12-10 00:00:01"
                                           << "Kestra" << open;
    QTest::newRow("open, due today 00:00") << "0"
                                           << "2026-12-10 00:00:00"
                                           << "Kestra" << overdue;
    QTest::newRow("open, due yesterday") << "0"
                                         << "2026-12-09 23:00:00"
                                         << "Kestra" << overdue;
    QTest::newRow("state with a blank") << "0 "
                                        << "2026-12-09 23:00:00"
                                        << "Kestra" << overdue;
    QTest::newRow("applied, overdue") << "1"
                                      << "2026-12-01 00:00:00"
                                      << "Kestra" << applied;
    QTest::newRow("completed") << "2"
                               << "2026-12-11 00:00:00"
                               << "Kestra" << done;
    QTest::newRow("empty state") << ""
                                 << "2026-12-11 00:00:00"
                                 << "Kestra" << done;
    QTest::newRow("not related, overdue") << "0"
                                          << "2026-12-01 00:00:00"
                                          << "Halvic" << neutral;
    QTest::newRow("part of a longer name") << "0"
                                           << "2026-12-01 00:00:00"
                                           << "Kestrall" << overdue;
    QTest::newRow("unreadable due time") << "0"
                                         << "soon"
                                         << "Kestra" << open;
}

void TestTaskRules::rowColour() {
    QFETCH(QString, state);
    QFETCH(QString, due);
    QFETCH(QString, related);
    QFETCH(QColor, colour);
    const QDateTime now(QDate(2026, 12, 10), QTime(10, 30));
    QCOMPARE(TaskGrid::rowColour(state, due, related, "Kestra", now, TaskGrid::kMainNeutral),
             colour);
    if (colour == TaskGrid::kMainNeutral) // the project window's neutral colour differs
        QCOMPARE(TaskGrid::rowColour(state, due, related, "Kestra", now, TaskGrid::kProjectNeutral),
                 QColor(Qt::white));
    QCOMPARE(TaskGrid::rowColour(state, due, related, "", now, TaskGrid::kMainNeutral),
             TaskGrid::kMainNeutral); // an empty name is related to nothing
}

void TestTaskRules::noteLines_data() {
    QTest::addColumn<QString>("note");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("two texts, inner blanks kept") << "a b|c  d" << QStringList{"a b", "c  d"};
    QTest::newRow("typed on two lines") << "first\r\nsecond" << QStringList{"first", "second"};
    QTest::newRow("blank lines dropped") << "a\n\n\nb" << QStringList{"a", "b"};
    QTest::newRow("two bars: an empty line") << "a||b" << QStringList{"a", "", "b"};
    QTest::newRow("bar at the start") << "|a" << QStringList{"", "a"};
    QTest::newRow("bar at the end") << "a|" << QStringList{"a", ""};
    QTest::newRow("break next to a bar") << "a|\nb" << QStringList{"a", "b"};
    QTest::newRow("caret shows as a blank") << "a^b" << QStringList{"a b"};
    QTest::newRow("quoted") << "\"x|y\"\"z\"|w" << QStringList{"x|y\"z", "w"};
}

void TestTaskRules::noteLines() {
    QFETCH(QString, note);
    QFETCH(QStringList, lines);
    QCOMPARE(NoteLines::split(note), lines);
}

QTEST_MAIN(TestTaskRules)
#include "TestTaskRules.moc"
