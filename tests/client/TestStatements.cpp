// The exact text of every statement the client sends, and the value forms.

#include "data/statements/SqlValues.h"
#include "data/statements/Statements.h"
#include "data/statements/TimeText.h"

#include <QtTest>

namespace {

Project sampleProject() {
    return {"GD20261117001",       " 华东客户 ",          "目标", "it's new", "abc", "abc|def",
            "2026-11-17 09:05:00", "2026-12-01 18:00:00", "No",   "0",        ""};
}

Task sampleTask() {
    return {"GD20261117001",
            "first line\r\nsecond line\r\n",
            "abc",
            "",
            "2026-11-17 09:05:00",
            "2026-11-20 18:00:00",
            "0",
            "",
            "",
            "def|ghi"};
}

} // namespace

class TestStatements : public QObject {
    Q_OBJECT
private slots:
    void valueForms_data();
    void valueForms();
    void statements_data();
    void statements();
    void timeTexts_data();
    void timeTexts();
};

void TestStatements::valueForms_data() {
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    using namespace SqlValues;
    QTest::newRow("quote doubled") << quoted("it's") << "'it''s'";
    QTest::newRow("ends trimmed") << quoted(" \t abc \r\n") << "'abc'";
    QTest::newRow("inner blanks kept") << quoted(" a b ") << "'a b'";
    QTest::newRow("empty") << quoted("") << "''";
    QTest::newRow("blanks only") << quoted("   ") << "''";
    QTest::newRow("pattern") << quotedPattern("abc") << "'%abc%'";
    QTest::newRow("pattern of empty") << quotedPattern("") << "'%%'";
    QTest::newRow("pattern keeps value's blanks") << quotedPattern(" ab ") << "'% ab %'";
    QTest::newRow("bare keeps ends") << bareQuoted(" it's \n") << "' it''s \n'";
}

void TestStatements::valueForms() {
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void TestStatements::statements_data() {
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    using namespace Statements;
    const Member oldLogin{"tb58", "pw'1", "Mareth"};
    const Member newLogin{" tb59 ", "pw2", "Mareth Q"};
    const Project project = sampleProject();
    const Task task = sampleTask();
    const Notice notice{"项目编号:GD20261117001 添加了派发任务 ", " abc", "def|ghi",
                        "2026-11-17 09:05:00"};

    QTest::newRow("addMember") << addMember(newLogin)
                               << "Insert into Login values('tb59','pw2','Mareth Q')";
    QTest::newRow("selectMembers(name, password)")
        << selectMembers(" tb58 ", "pw'1")
        << "Select * From Login where UseName='tb58' and PassWord='pw''1'";
    QTest::newRow("selectMembers(name)")
        << selectMembers("tb58") << "Select * From Login where UseName='tb58'";
    QTest::newRow("selectMembers()") << selectMembers() << "Select * From Login";
    QTest::newRow("selectDisplayNames") << selectDisplayNames() << "Select Remark From Login";
    QTest::newRow("updateMember")
        << updateMember(oldLogin, newLogin)
        << "update Login Set UseName='tb59',PassWord='pw2',Remark='Mareth Q' where "
           "UseName='tb58' and PassWord='pw''1'";
    QTest::newRow("addProject")
        << addProject(project)
        << "Insert into Programe values('GD20261117001','华东客户','目标','it''s new','abc',"
           "'abc|def','2026-11-17 09:05:00','2026-12-01 18:00:00','No','0','')";
    QTest::newRow("selectMemberProjects for abc")
        << selectMemberProjects("abc", "abc")
        << "Select * From Programe where ProDemander='abc' or ProPerformer like '%abc%' and "
           "ProCompleteFlag='No' Order by ProCompleteTime desc";
    QTest::newRow("selectMemberProjects for empty name")
        << selectMemberProjects("", "")
        << "Select * From Programe where ProDemander='' or ProPerformer like '%%' and "
           "ProCompleteFlag='No' Order by ProCompleteTime desc";
    QTest::newRow("updateProject")
        << updateProject("abc|def", "Yes", "3", "业务需求---abc", project)
        << "update Programe Set ProPerformer='abc|def',ProCompleteFlag='Yes',ProTask='3',"
           "ProList='业务需求---abc' where ProId='GD20261117001' and ProFrom='华东客户' and "
           "ProDemander='abc'";
    QTest::newRow("updateProjectTaskCount")
        << updateProjectTaskCount("4", project)
        << "update Programe Set ProTask='4' where ProId='GD20261117001' and ProFrom='华东客户' "
           "and ProDemander='abc'";
    QTest::newRow("deleteProject")
        << deleteProject("GD20261117001") << "delete Programe Where ProId='GD20261117001'";
    QTest::newRow("addTask")
        << addTask(task)
        << "Insert into Task values('GD20261117001','first line\r\nsecond line','abc','',"
           "'2026-11-17 09:05:00','2026-11-20 18:00:00','0','','','def|ghi')";
    QTest::newRow("selectProjectTasks, latest due first")
        << selectProjectTasks("GD20261117001", true)
        << "Select * From Task where TaskId='GD20261117001' Order by TaskCompleteTime desc";
    QTest::newRow("selectProjectTasks, by creation")
        << selectProjectTasks("GD20261117001", false)
        << "Select * From Task where TaskId='GD20261117001' Order by TaskCreateTime";
    QTest::newRow("selectMemberTasks for abc")
        << selectMemberTasks("abc", "abc")
        << "Select * From Task where TaskDemander='abc' or TaskPerformer like '%abc%' or "
           "TaskCCList like '%abc%' order by TaskCompleteTime desc";
    QTest::newRow("selectMemberTasks for empty name")
        << selectMemberTasks("", "")
        << "Select * From Task where TaskDemander='' or TaskPerformer like '%%' or TaskCCList "
           "like '%%' order by TaskCompleteTime desc";
    QTest::newRow("updateTaskState")
        << updateTaskState("1", " done ", task)
        << "update Task Set TaskCompleteFlag='1',TaskList='done',TaskPerformer='' where "
           "TaskId='GD20261117001' and TaskContent='first line\r\nsecond line' and "
           "TaskDemander='abc'";
    QTest::newRow("updateTaskReadTime")
        << updateTaskReadTime("2026-11-18 10:00:00--def", task)
        << "update Task Set TaskReadTime='2026-11-18 10:00:00--def' where "
           "TaskId='GD20261117001' and TaskContent='first line\r\nsecond line' and "
           "TaskDemander='abc'";
    QTest::newRow("deleteTask")
        << deleteTask("GD20261117001", "it's", "abc")
        << "delete From Task Where TaskId='GD20261117001' and TaskContent='it''s' and "
           "TaskDemander='abc'";
    QTest::newRow("addNotice keeps ends")
        << addNotice(notice)
        << "Insert into Notice values('项目编号:GD20261117001 添加了派发任务 ',' abc',"
           "'def|ghi','2026-11-17 09:05:00')";
}

void TestStatements::statements() {
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void TestStatements::timeTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("read"); // invalid: unreadable
    const QDateTime evening(QDate(2016, 11, 2), QTime(23, 59, 59));
    QTest::newRow("stored form") << "2016-11-02 23:59:59" << evening;
    QTest::newRow("blanks around") << " 2016-11-02 23:59:59\t" << evening;
    QTest::newRow("no seconds") << "2016-11-02 23:59"
                                << QDateTime(QDate(2016, 11, 2), QTime(23, 59));
    QTest::newRow("bare date") << "2016-11-02" << QDateTime(QDate(2016, 11, 2), QTime(0, 0));
    QTest::newRow("no such day") << "2016-02-30 10:00:00" << QDateTime();
    QTest::newRow("no such hour") << "2016-11-02 24:00:00" << QDateTime();
    QTest::newRow("other separators") << "2016/11/02 10:00:00" << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
    QTest::newRow("words") << "next week" << QDateTime();
    // Every place of the form is a digit: none of these is year -1.
    QTest::newRow("letter O in the year") << "2O24-05-01 10:00:00" << QDateTime();
    QTest::newRow("question marks for the year") << "?\?\?\?-12-31 18:00:00" << QDateTime();
    QTest::newRow("signed year") << "+024-02-29 13:45:59" << QDateTime();
    QTest::newRow("signed year, no seconds") << "+024-02-29 13:45" << QDateTime();
    QTest::newRow("signed year, bare date") << "-024-02-29" << QDateTime();
    QTest::newRow("blank in the minutes") << "2024-05-01 10: 0:00" << QDateTime();
    QTest::newRow("full-width digit") << "2024-05-0\uFF11 10:00:00" << QDateTime();
    QTest::newRow("one-digit month") << "2024-5-01 10:00:00" << QDateTime();
    QTest::newRow("seconds too many") << "2024-05-01 10:00:000" << QDateTime();
}

void TestStatements::timeTexts() {
    QFETCH(QString, text);
    QFETCH(QDateTime, read);
    QCOMPARE(TimeText::parse(text), read);
    if (read.isValid())
        QCOMPARE(TimeText::parse(TimeText::format(read)), read);
}

QTEST_GUILESS_MAIN(TestStatements)
#include "TestStatements.moc"
