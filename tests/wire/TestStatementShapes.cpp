// Every statement the client composes has one of the shapes the server runs,
// and the shapes the server runs are all the client's: both lists are the
// client's own builders, so they cannot drift apart.

#include "data/statements/Statements.h"
#include "notices/NoticeBoard.h"
#include "projects/ProjectQuery.h"
#include "projects/ProjectRules.h"
#include "protocol/StatementShapes.h"

#include <QtTest>

#include <set>

namespace {

// Everything the client can send, with awkward values where values go.
QStringList everyClientStatement() {
    const QString awkward = " it's  a\tvalue ";
    const Member member{awkward, awkward, awkward};
    Project project;
    project.id = awkward;
    Task task;
    task.content = awkward;
    const Notice notice{awkward, awkward, awkward, awkward};
    using namespace Statements;
    QStringList all = {
        addMember(member), selectMembers(awkward, awkward), selectMembers(awkward),
        selectMembers(), selectDisplayNames(), updateMember(member, member), addProject(project),
        selectMemberProjects(awkward, awkward),
        updateProject(awkward, awkward, awkward, awkward, project),
        updateProjectTaskCount(awkward, project), deleteProject(awkward), addTask(task),
        selectProjectTasks(awkward, true), selectProjectTasks(awkward, false),
        selectMemberTasks(awkward, awkward), updateTaskState(awkward, awkward, task),
        claimTask(task), updateTaskReadTime(awkward, task), deleteTask(awkward, awkward, awkward),
        replaceProject(awkward, project), replaceTask(task, task), projectById(awkward),
        addNotice(notice), memberYearTasks(awkward, 2026), noticePanel(QDateTime::currentDateTime()),
        openProjectsOf(awkward), unfinishedTasksOf(awkward),
        projectNumbersOfDay(ProjectRules::dayPrefix(ProjectRules::Kind::Demand, QDate(2026, 12, 10))),
        allProjects(), projectsCreatedSince(awkward), projectsOfPerformer(awkward),
        projectsOfPerformerSince(awkward, awkward), projectHistory(awkward)};
    for (const char *condition : {"", " a'b, ", ", 2026-12-01", "a'b，it's"})
        all << ProjectQuery::statementFor(QString::fromUtf8(condition)).value();
    return all;
}

} // namespace

class TestStatementShapes : public QObject {
    Q_OBJECT
private slots:
    void everyClientStatementHasAShape();
    void everyShapeIsTheClients();
    void othersHaveNone_data();
    void othersHaveNone();
    void literalsComeBackUnquoted();
};

void TestStatementShapes::everyClientStatementHasAShape() {
    for (const QString &statement : everyClientStatement()) {
        const auto reduced = StatementShapes::reduce(statement.toStdString());
        QVERIFY2(reduced, qPrintable(statement));
        QVERIFY2(StatementShapes::kindOf(reduced->shape), reduced->shape.c_str());
    }
}

void TestStatementShapes::everyShapeIsTheClients() {
    std::set<std::string> composed;
    for (const QString &statement : everyClientStatement())
        composed.insert(StatementShapes::reduce(statement.toStdString())->shape);
    // A shape kept for clients of an earlier version is one this client no
    // longer composes; every other is one it does.
    for (const auto &shape : StatementShapes::all())
        QVERIFY2(composed.count(shape.text) != shape.earlierClientsOnly, shape.text);
}

void TestStatementShapes::othersHaveNone_data() {
    QTest::addColumn<QString>("statement");
    QTest::newRow("passwords by column") << "select UseName,PassWord from Login";
    QTest::newRow("always true") << "Select * From Login where UseName='x' or '1'='1'";
    QTest::newRow("other letter case") << "SELECT * FROM Login";
    QTest::newRow("replace") << "REPLACE INTO Login VALUES('TB58','owned','Evil')";
    QTest::newRow("delete members") << "delete From Login";
    QTest::newRow("second statement") << "Select * From Login;delete From Login";
    QTest::newRow("comment") << "Select * From Login --";
    QTest::newRow("function") << "Select Remark From Login where UseName=lower('A')";
    QTest::newRow("unterminated literal") << "Select * From Login where UseName='x";
    QTest::newRow("statistics joined to another table")
        << "Select Task.*,min(PassWord) From Task left join Login on trim(TaskCompleteFlag)='2' "
           "and UseName='a'||TaskId||'b' and Remark=TaskDemander and PassWord>=TaskCreateTime "
           "where (TaskPerformer like '%a%' or trim(TaskPerformer)='' and TaskCCList like '%a%') "
           "and TaskCreateTime>='2026' and TaskCreateTime<'2027' group by TaskId,TaskContent,"
           "TaskDemander,TaskPerformer,TaskCreateTime,TaskCompleteTime,TaskCompleteFlag,TaskList,"
           "TaskReadTime,TaskCCList order by TaskCreateTime";
}

void TestStatementShapes::othersHaveNone() {
    QFETCH(QString, statement);
    const auto reduced = StatementShapes::reduce(statement.toStdString());
    QVERIFY(!reduced || !StatementShapes::kindOf(reduced->shape));
}

void TestStatementShapes::literalsComeBackUnquoted() {
    const auto reduced = StatementShapes::reduce(
        Statements::selectMembers(" it's ", "p w").toStdString());
    QCOMPARE(reduced->shape, "Select * From Login where UseName=? and PassWord=?");
    QCOMPARE(reduced->literals, (std::vector<std::string>{"it's", "p w"}));
}

QTEST_GUILESS_MAIN(TestStatementShapes)
#include "TestStatementShapes.moc"
