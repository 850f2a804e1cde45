// What a project's query, number, state and flow nodes mean, and the progress
// sheet's state words: rules without a server.

#include "data/statements/Statements.h"
#include "projects/ProgressSheet.h"
#include "projects/ProjectQuery.h"
#include "projects/ProjectRules.h"

#include <QtTest>

using ProjectRules::Kind;
using ProjectRules::State;

class TestProjectRules : public QObject {
    Q_OBJECT
private slots:
    void queryStatement_data();
    void queryStatement();
    void nextNumber_data();
    void nextNumber();
    void kindOfNumber_data();
    void kindOfNumber();
    void state_data();
    void state();
    void flowNodes();
    void progressWord_data();
    void progressWord();
};

void TestProjectRules::queryStatement_data() {
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("statement"); // empty: no query
    const QString byName = "Select * From Programe Where ProPerformer like '%1' order by "
                           "ProCreateTime desc";
    QTest::newRow("empty lists all") << "  "
                                     << "Select * From Programe Order by ProCreateTime desc";
    QTest::newRow("no comma: no query") << "Kestra"
                                        << "";
    QTest::newRow("name,") << "Kestra," << byName.arg("%Kestra%");
    QTest::newRow("blanks around the name") << " Kestra ,  " << byName.arg("%Kestra%");
    QTest::newRow(",date") << ",2026-12-01"
                           << "Select * From Programe where ProCreateTime >='2026-12-01' order "
                              "by ProCreateTime desc";
    QTest::newRow("name,date")
        << "Kestra, 2026-12-01"
        << "Select * From Programe Where ProPerformer like '%Kestra%' and ProCreateTime "
           ">='2026-12-01' order by ProCreateTime desc";
    QTest::newRow("blanks around the date")
        << ",  2026-12-01 "
        << "Select * From Programe where ProCreateTime >='2026-12-01' order by ProCreateTime desc";
    QTest::newRow("full-width comma") << "Kestra，" << byName.arg("%Kestra%");
    QTest::newRow("first ASCII comma wins")
        << "a，b,c"
        << "Select * From Programe Where ProPerformer like '%a，b%' and ProCreateTime >='c' "
           "order by ProCreateTime desc";
    QTest::newRow("comma alone lists all") << "," << byName.arg("%%");
    QTest::newRow("quote doubled")
        << ",it's"
        << "Select * From Programe where ProCreateTime >='it''s' order by ProCreateTime desc";
}

void TestProjectRules::queryStatement() {
    QFETCH(QString, condition);
    QFETCH(QString, statement);
    const auto made = ProjectQuery::statementFor(condition);
    QCOMPARE(made.value_or(QString()), statement);
}

void TestProjectRules::nextNumber_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("number");
    const auto gd = [](std::initializer_list<int> sequences) {
        QStringList ids;
        for (int n : sequences)
            ids << QString("GD20261210%1").arg(n, 3, 10, QChar('0'));
        return ids;
    };
    QTest::newRow("first of the day") << int(Kind::NewProduct) << QStringList() << "KF20261210001";
    QTest::newRow("after three") << int(Kind::Demand) << gd({1, 2, 3}) << "GD20261210004";
    QTest::newRow("count's number taken after a deletion")
        << int(Kind::Demand) << gd({1, 3}) << "GD20261210004";
    QTest::newRow("gap below the count stays a gap")
        << int(Kind::Demand) << gd({2, 3, 4}) << "GD20261210005";
    QStringList full;
    for (int n = 1; n <= 999; ++n)
        full << QString("SW20261210%1").arg(n, 3, 10, QChar('0'));
    QTest::newRow("after 999 comes 000") << int(Kind::Routine) << full << "SW20261210000";
}

void TestProjectRules::nextNumber() {
    QFETCH(int, kind);
    QFETCH(QStringList, stored);
    QFETCH(QString, number);
    QCOMPARE(ProjectRules::nextNumber(Kind(kind), QDate(2026, 12, 10), stored), number);
    QCOMPARE(Statements::projectNumbersOfDay(ProjectRules::dayPrefix(Kind::Demand, QDate(2016, 11, 17))),
             "Select * From programe Where ProId Like 'GD20161117%'");
}

void TestProjectRules::kindOfNumber_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("kind");
    QTest::newRow("GD") << "GD20161117001" << int(Kind::Demand);
    QTest::newRow("KF") << "KF20161117001" << int(Kind::NewProduct);
    QTest::newRow("SW") << "SW20161117001" << int(Kind::Routine);
    QTest::newRow("neither") << "20161117001" << int(Kind::Routine);
    QTest::newRow("GD inside") << "XGD20161117001" << int(Kind::Demand);
    QTest::newRow("small letters") << "gd20161117001" << int(Kind::Demand);
}

void TestProjectRules::kindOfNumber() {
    QFETCH(QString, number);
    QFETCH(int, kind);
    QCOMPARE(int(ProjectRules::kindOfNumber(number)), kind);
}

void TestProjectRules::state_data() {
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("due");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<int>("state");
    QTest::addColumn<QColor>("colour");
    const QColor open(200, 100, 50), due(255, 50, 50), done(100, 200, 50);
    const int openState = int(State::OpenNotDue), dueState = int(State::OpenDue);
    QTest::newRow("seconds of now dropped")
        << "No"
        << "2026-12-10 10:30:20" << QTime(10, 30, 45) << openState << open;
    QTest::newRow("overdue from the next minute")
        << "No"
        << "2026-12-10 10:30:20" << QTime(10, 31) << dueState << due;
    QTest::newRow("due this minute") << "No"
                                     << "2026-12-10 10:30:00" << QTime(10, 30) << dueState << due;
    QTest::newRow("flag letter case and blanks")
        << " no "
        << "2026-12-11 00:00:00" << QTime(10, 0) << openState << open;
    QTest::newRow("completed whatever its due time")
        << "Yes"
        << "2020-01-01 00:00:00" << QTime(10, 0) << int(State::Completed) << done;
    QTest::newRow("unreadable due time: open, not due")
        << "No"
        << "next week" << QTime(10, 0) << openState << open;
}

void TestProjectRules::state() {
    QFETCH(QString, flag);
    QFETCH(QString, due);
    QFETCH(QTime, now);
    QFETCH(int, state);
    QFETCH(QColor, colour);
    const auto made = ProjectRules::state(flag, due, QDateTime(QDate(2026, 12, 10), now));
    QCOMPARE(int(made), state);
    QCOMPARE(ProjectRules::colour(made), colour);
}

void TestProjectRules::flowNodes() {
    QCOMPARE(ProjectRules::flowNodeLines(""), QStringList());
    QCOMPARE(ProjectRules::flowNodeLines("a---P|b  c---Q||"),
             QStringList({"a---P", "b  c---Q", "", ""}));
    QCOMPARE(ProjectRules::withFlowNode("", " first ", "Mareth"), "first---Mareth");
    QCOMPARE(ProjectRules::withFlowNode(" a---P ", "b", "Q"), "a---P|b---Q");
}

void TestProjectRules::progressWord_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("due");
    QTest::addColumn<QString>("word");
    QTest::newRow("applied") << "1"
                             << "2020-01-01 00:00:00"
                             << "已完成";
    QTest::newRow("completed") << " 2 "
                               << "2020-01-01 00:00:00"
                               << "已完成";
    QTest::newRow("open, seconds dropped") << "0"
                                           << "2026-12-10 10:30:20"
                                           << "未完成";
    QTest::newRow("open, due") << "0"
                               << "2026-12-10 10:30:00"
                               << "延误中";
    QTest::newRow("unreadable due") << "0"
                                    << ""
                                    << "未完成";
}

void TestProjectRules::progressWord() {
    QFETCH(QString, state);
    QFETCH(QString, due);
    QFETCH(QString, word);
    QCOMPARE(
        ProgressSheet::stateWord(state, due, QDateTime(QDate(2026, 12, 10), QTime(10, 30, 45))),
        word);
}

QTEST_MAIN(TestProjectRules)
#include "TestProjectRules.moc"
