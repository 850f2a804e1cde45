#include "data/statements/Statements.h"

#include "data/statements/SqlValues.h"

#include <QDateTime>
#include <QStringList>

using SqlValues::bareQuoted;
using SqlValues::quoted;
using SqlValues::quotedPattern;

namespace Statements {
namespace {

QString insertValues(const QString &table, const QStringList &fields) {
    QStringList values;
    values.reserve(fields.size());
    for (const QString &field : fields)
        values << quoted(field);
    return QStringLiteral("Insert into ") + table + QStringLiteral(" values(") +
           values.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString whereProject(const Project &p) {
    return QStringLiteral(" where ProId=") + quoted(p.id) + QStringLiteral(" and ProFrom=") +
           quoted(p.source) + QStringLiteral(" and ProDemander=") + quoted(p.creator);
}

QString whereTask(const QString &id, const QString &content, const QString &demander) {
    return QStringLiteral("TaskId=") + quoted(id) + QStringLiteral(" and TaskContent=") +
           quoted(content) + QStringLiteral(" and TaskDemander=") + quoted(demander);
}

} // namespace

// Members.

QString addMember(const Member &l) {
    return insertValues("Login", {l.userName, l.password, l.displayName});
}

QString selectMembers(const QString &userName, const QString &password) {
    return QStringLiteral("Select * From Login where UseName=") + quoted(userName) +
           QStringLiteral(" and PassWord=") + quoted(password);
}

QString selectMembers(const QString &userName) {
    return QStringLiteral("Select * From Login where UseName=") + quoted(userName);
}

QString selectMembers() {
    return QStringLiteral("Select * From Login");
}

QString selectDisplayNames() {
    return QStringLiteral("Select Remark From Login");
}

QString updateMember(const Member &oldLogin, const Member &newLogin) {
    return QStringLiteral("update Login Set UseName=") + quoted(newLogin.userName) +
           QStringLiteral(",PassWord=") + quoted(newLogin.password) + QStringLiteral(",Remark=") +
           quoted(newLogin.displayName) + QStringLiteral(" where UseName=") +
           quoted(oldLogin.userName) + QStringLiteral(" and PassWord=") + quoted(oldLogin.password);
}

// Projects.

QString addProject(const Project &p) {
    return insertValues("Programe",
                        {p.id, p.source, p.aim, p.content, p.creator, p.performers, p.createTime,
                         p.dueTime, p.completeFlag, p.taskCount, p.flowNodes});
}

QString selectMemberProjects(const QString &demander, const QString &performer) {
    return QStringLiteral("Select * From Programe where ProDemander=") + quoted(demander) +
           QStringLiteral(" or ProPerformer like ") + quotedPattern(performer) +
           QStringLiteral(" and ProCompleteFlag=") + quoted("No") +
           QStringLiteral(" Order by ProCompleteTime desc");
}

QString updateProject(const QString &performers, const QString &completeFlag,
                      const QString &taskCount, const QString &flowNodes, const Project &project) {
    return QStringLiteral("update Programe Set ProPerformer=") + quoted(performers) +
           QStringLiteral(",ProCompleteFlag=") + quoted(completeFlag) +
           QStringLiteral(",ProTask=") + quoted(taskCount) + QStringLiteral(",ProList=") +
           quoted(flowNodes) + whereProject(project);
}

QString updateProjectTaskCount(const QString &taskCount, const Project &project) {
    return QStringLiteral("update Programe Set ProTask=") + quoted(taskCount) +
           whereProject(project);
}

QString deleteProject(const QString &projectId) {
    return QStringLiteral("delete Programe Where ProId=") + quoted(projectId);
}

// What joins the two statements of a re-edit; the server splits there.
constexpr QLatin1Char kJoint(';');

QString replaceProject(const QString &projectId, const Project &edited) {
    return deleteProject(projectId) + kJoint + addProject(edited);
}

QString allProjects() {
    return QStringLiteral("Select * From Programe Order by ProCreateTime desc");
}

QString projectsCreatedSince(const QString &date) {
    return QStringLiteral("Select * From Programe where ProCreateTime >=") + bareQuoted(date) +
           QStringLiteral(" order by ProCreateTime desc");
}

QString projectsOfPerformer(const QString &name) {
    return QStringLiteral("Select * From Programe Where ProPerformer like ") +
           bareQuoted(QLatin1Char('%') + name + QLatin1Char('%')) +
           QStringLiteral(" order by ProCreateTime desc");
}

QString projectsOfPerformerSince(const QString &name, const QString &date) {
    return QStringLiteral("Select * From Programe Where ProPerformer like ") +
           bareQuoted(QLatin1Char('%') + name + QLatin1Char('%')) +
           QStringLiteral(" and ProCreateTime >=") + bareQuoted(date) +
           QStringLiteral(" order by ProCreateTime desc");
}

QString projectById(const QString &projectId) {
    return QStringLiteral("Select * From programe Where ProId Like ") + quoted(projectId);
}

QString projectNumbersOfDay(const QString &dayPrefix) {
    return QStringLiteral("Select * From programe Where ProId Like '") + dayPrefix +
           QStringLiteral("%'");
}

// Tasks.

QString addTask(const Task &t) {
    return insertValues("Task",
                        {t.projectId, t.content, t.dispatcher, t.performer, t.createTime, t.dueTime,
                         t.state, t.completionNote, t.readReceipt, t.relatedPersons});
}

QString selectProjectTasks(const QString &projectId, bool latestDueFirst) {
    return QStringLiteral("Select * From Task where TaskId=") + quoted(projectId) +
           (latestDueFirst ? QStringLiteral(" Order by TaskCompleteTime desc")
                           : QStringLiteral(" Order by TaskCreateTime"));
}

QString selectMemberTasks(const QString &demander, const QString &performer) {
    return QStringLiteral("Select * From Task where TaskDemander=") + quoted(demander) +
           QStringLiteral(" or TaskPerformer like ") + quotedPattern(performer) +
           QStringLiteral(" or TaskCCList like ") + quotedPattern(performer) +
           QStringLiteral(" order by TaskCompleteTime desc");
}

QString updateTaskState(const QString &state, const QString &completionNote, const Task &t) {
    return QStringLiteral("update Task Set TaskCompleteFlag=") + quoted(state) +
           QStringLiteral(",TaskList=") + quoted(completionNote) +
           QStringLiteral(",TaskPerformer=") + quoted(t.performer) + QStringLiteral(" where ") +
           whereTask(t.projectId, t.content, t.dispatcher);
}

QString claimTask(const Task &t) {
    return updateTaskState(QStringLiteral("0"), QString(), t) +
           QStringLiteral(" and TaskCompleteFlag='0' and TaskPerformer=''");
}

QString updateTaskReadTime(const QString &readReceipt, const Task &t) {
    return QStringLiteral("update Task Set TaskReadTime=") + quoted(readReceipt) +
           QStringLiteral(" where ") + whereTask(t.projectId, t.content, t.dispatcher);
}

QString deleteTask(const QString &projectId, const QString &content, const QString &demander) {
    return QStringLiteral("delete From Task Where ") + whereTask(projectId, content, demander);
}

QString replaceTask(const Task &old, const Task &edited) {
    return deleteTask(old.projectId, old.content, old.dispatcher) + kJoint + addTask(edited);
}

// Notices and the reminder.

QString addNotice(const Notice &n) {
    return QStringLiteral("Insert into Notice values(") + bareQuoted(n.content) + QLatin1Char(',') +
           bareQuoted(n.author) + QLatin1Char(',') + bareQuoted(n.concerned) + QLatin1Char(',') +
           bareQuoted(n.createTime) + QLatin1Char(')');
}

QString noticePanel(const QDateTime &now) {
    const QString since = now.addDays(-15).toString(QStringLiteral("yyyy-MM-dd"));
    return QStringLiteral("Select * From Notice Where CreateTime>=") + bareQuoted(since) +
           QStringLiteral("Order by CreateTime desc");
}

QString openProjectsOf(const QString &displayName) {
    const QString pattern = QLatin1Char('%') + SqlValues::trimmed(displayName) + QLatin1Char('%');
    return QStringLiteral("Select * From Programe Where ProPerformer like") + bareQuoted(pattern) +
           QStringLiteral(" and ProCompleteFlag=") + bareQuoted(QStringLiteral("No"));
}

QString unfinishedTasksOf(const QString &displayName) {
    const QString pattern = QLatin1Char('%') + SqlValues::trimmed(displayName) + QLatin1Char('%');
    return QStringLiteral("Select * From Task Where TaskPerformer like") + bareQuoted(pattern) +
           QStringLiteral(" and TaskCompleteFlag<>") + bareQuoted(QStringLiteral("2"));
}

// The statistics tab.

QString memberYearTasks(const QString &member, int year) {
    // Joined to the journal's agreements, and to the agreements' notices as
    // the task workflow words them for those made before the journal; a join
    // lets the database index them once for all tasks.
    return QStringLiteral("Select Task.*,min(CreateTime),max(ChangedAt) From Task left join "
                          "Notice on trim(TaskCompleteFlag)=") +
           quoted("2") + QStringLiteral(" and Content=") + bareQuoted(QStringLiteral("项目编号:")) +
           QStringLiteral("||TaskId||") + bareQuoted(QStringLiteral(" 下的派发任务已完成！")) +
           QStringLiteral(" and Performer=TaskDemander and CreateTime>=TaskCreateTime left join "
                          "solvane_journal on trim(TaskCompleteFlag)=") +
           quoted("2") + QStringLiteral(" and RowTable=") + quoted("Task") +
           QStringLiteral(" and Verb=") + quoted("agree") +
           QStringLiteral(" and KeyId=TaskId and KeyContent=TaskContent and "
                          "KeyDemander=TaskDemander where (TaskPerformer like ") +
           quotedPattern(member) + QStringLiteral(" or trim(TaskPerformer)=") + quoted(QString()) +
           QStringLiteral(" and TaskCCList like ") + quotedPattern(member) +
           QStringLiteral(") and TaskCreateTime>=") + quoted(QString::number(year)) +
           QStringLiteral(" and TaskCreateTime<") + quoted(QString::number(year + 1)) +
           QStringLiteral(" group by TaskId,TaskContent,TaskDemander,TaskPerformer,TaskCreateTime,"
                          "TaskCompleteTime,TaskCompleteFlag,TaskList,TaskReadTime,TaskCCList "
                          "order by TaskCreateTime");
}

// The project window's history.

QString projectHistory(const QString &projectId) {
    return QStringLiteral("Select ChangedAt,ByName,Verb,RowTable,KeyContent,KeyDemander,Changes "
                          "From solvane_journal where KeyId=") +
           quoted(projectId) + QStringLiteral(" and RowTable<>") + quoted("Login") +
           QStringLiteral(" order by Seq desc");
}

} // namespace Statements
